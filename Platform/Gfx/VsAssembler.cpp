#include "Platform/Gfx/VsAssembler.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace gfx {

namespace {

// Past this many messages a broken text only buries the first, useful ones.
constexpr int kMaxMessages = 64;

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

const D3DXMACRO* FindMacro(const D3DXMACRO* macros, const char* name, size_t length) {
  if (!macros) return nullptr;
  for (const D3DXMACRO* m = macros; m->Name; ++m) {
    if (std::strlen(m->Name) == length && std::memcmp(m->Name, name, length) == 0) return m;
  }
  return nullptr;
}

void Expand(const std::string& text, const D3DXMACRO* macros,
            std::vector<const D3DXMACRO*>* active, std::string* out) {
  size_t i = 0;
  while (i < text.size()) {
    if (!IsIdentChar(text[i])) {
      out->push_back(text[i++]);
      continue;
    }
    size_t end = i;
    while (end < text.size() && IsIdentChar(text[end])) ++end;
    // A run that starts with a digit is a number, never a name.
    const D3DXMACRO* macro = std::isdigit(static_cast<unsigned char>(text[i]))
                                 ? nullptr
                                 : FindMacro(macros, text.data() + i, end - i);
    bool inUse = false;
    for (const D3DXMACRO* a : *active) inUse = inUse || a == macro;
    if (macro && !inUse) {
      active->push_back(macro);
      std::string definition = macro->Definition ? macro->Definition : "";
      for (char& c : definition) {
        if (c == '\n') c = ' ';  // a statement stays on its line
      }
      Expand(definition, macros, active, out);
      active->pop_back();
    } else {
      out->append(text, i, end - i);
    }
    i = end;
  }
}

// The text with comments blanked out, newlines kept so line numbers stay right.
std::string StripComments(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool block = false;
  bool line = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '\n') {
      line = false;
      out.push_back('\n');
    } else if (block) {
      if (c == '*' && next == '/') {
        block = false;
        ++i;
      }
      out.push_back(' ');
    } else if (line) {
      out.push_back(' ');
    } else if (c == ';' || (c == '/' && next == '/')) {
      line = true;
      out.push_back(' ');
    } else if (c == '/' && next == '*') {
      block = true;
      ++i;
      out.append("  ");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// "xyzw" letters of a component mask.
std::string MaskLetters(uint32_t mask) {
  std::string letters;
  for (uint32_t i = 0; i < 4; ++i) {
    if (mask & (1u << i)) letters.push_back("xyzw"[i]);
  }
  return letters;
}

int ComponentOf(char c) {
  switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'x': return 0;
    case 'y': return 1;
    case 'z': return 2;
    case 'w': return 3;
    default: return -1;
  }
}

struct ParsedOperand {
  VsOperand operand;
  bool maskGiven = false;
  bool swizzleGiven = false;
};

class Assembler {
 public:
  explicit Assembler(const D3DXMACRO* macros) : macros_(macros) {}

  bool Run(const std::string& text, VsProgram* program, std::string* messages) {
    const std::string stripped = StripComments(text);
    size_t start = 0;
    uint32_t lineNumber = 1;
    while (start <= stripped.size()) {
      size_t end = stripped.find('\n', start);
      if (end == std::string::npos) end = stripped.size();
      line_ = lineNumber;
      const std::string statement =
          Trim(VsExpandMacros(stripped.substr(start, end - start), macros_));
      if (!statement.empty()) {
        lastLine_ = lineNumber;
        Statement(statement);
      }
      start = end + 1;
      ++lineNumber;
    }
    if (!versionSeen_) {
      line_ = 1;
      Message("error", "the first statement must be vs.1.1");
    }
    if (errors_ == 0) {
      const std::string problem = VsCheckProgram(program_);
      line_ = lastLine_ ? lastLine_ : 1;
      if (!problem.empty()) Message("error", "%s", problem.c_str());
    }
    if (messages) *messages = messages_;
    if (errors_ != 0) return false;
    if (program) *program = program_;
    return true;
  }

 private:
  void Message(const char* kind, const char* format, ...) __attribute__((format(printf, 3, 4)));

  void Statement(const std::string& statement) {
    size_t split = 0;
    while (split < statement.size() && !IsSpace(statement[split])) ++split;
    const std::string opcode = Lower(statement.substr(0, split));
    const std::string rest = Trim(statement.substr(split));
    const bool isVersion = opcode.rfind("vs.", 0) == 0 || opcode.rfind("vs_", 0) == 0 ||
                           opcode.rfind("ps.", 0) == 0 || opcode.rfind("ps_", 0) == 0;
    if (!versionSeen_) {
      versionSeen_ = true;
      if (isVersion) {
        if (opcode != "vs.1.1" && opcode != "vs_1_1") {
          Message("error", "unsupported shader version '%s'; only vs.1.1 is assembled",
                  statement.substr(0, split).c_str());
        } else if (!rest.empty()) {
          Message("error", "unexpected '%s' after vs.1.1", rest.c_str());
        }
        return;
      }
      Message("error", "the first statement must be vs.1.1");
    } else if (isVersion) {
      Message("error", "the version may only be the first statement");
      return;
    }

    std::vector<std::string> operands;
    if (!SplitOperands(rest, &operands)) return;
    if (opcode.rfind("dcl_", 0) == 0) {
      Declaration(opcode.substr(4), operands);
      return;
    }
    const VsOpInfo* info = FindVsOpByName(opcode);
    if (!info) {
      if (opcode == "dcl") {
        Message("error", "dcl needs a usage (dcl_position, dcl_texcoord1, ...)");
      } else {
        Message("error", "unknown instruction '%s'", statement.substr(0, split).c_str());
      }
      return;
    }
    Instruction(*info, operands);
  }

  // Operands end at commas, and at spaces and tabs outside brackets. A lone "-" joins the
  // operand after it.
  bool SplitOperands(const std::string& rest, std::vector<std::string>* operands) {
    std::string current;
    int depth = 0;
    bool commaPending = false;
    auto finish = [&]() {
      if (current.empty()) return;
      if (!operands->empty() && operands->back() == "-") {
        operands->back() += current;
      } else {
        operands->push_back(current);
      }
      current.clear();
      commaPending = false;
    };
    for (char c : rest) {
      if (c == '[') ++depth;
      if (c == ']') --depth;
      if (depth > 0) {
        if (!IsSpace(c)) current.push_back(c);
        continue;
      }
      if (c == ',') {
        if (current.empty() && (commaPending || operands->empty())) {
          Message("error", "empty operand");
          return false;
        }
        finish();
        commaPending = true;
      } else if (IsSpace(c)) {
        finish();
      } else {
        current.push_back(c);
      }
    }
    if (depth != 0) {
      Message("error", "unbalanced brackets in '%s'", rest.c_str());
      return false;
    }
    if (current.empty() && commaPending) {
      Message("error", "empty operand");
      return false;
    }
    finish();
    return true;
  }

  bool ParseOperand(const std::string& text, bool destination, ParsedOperand* parsed) {
    VsOperand& op = parsed->operand;
    size_t pos = 0;
    if (pos < text.size() && text[pos] == '-') {
      if (destination) {
        Message("error", "a destination cannot be negated: '%s'", text.c_str());
        return false;
      }
      op.negate = true;
      ++pos;
    }
    const size_t nameStart = pos;
    while (pos < text.size() && std::isalpha(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::string name = Lower(text.substr(nameStart, pos - nameStart));
    const size_t digitsStart = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::string digits = text.substr(digitsStart, pos - digitsStart);

    struct Named {
      const char* name;
      VsReg file;
      int fixedIndex;  // -1: digits follow
    };
    static const Named kNames[] = {
        {"r", VsReg::Temp, -1},          {"v", VsReg::Input, -1},
        {"c", VsReg::Const, -1},         {"a", VsReg::Address, -1},
        {"od", VsReg::AttrOut, -1},      {"ot", VsReg::TexCrdOut, -1},
        {"opos", VsReg::RastOut, 0},     {"ofog", VsReg::RastOut, 1},
        {"opts", VsReg::RastOut, 2},
    };
    const Named* found = nullptr;
    for (const Named& n : kNames) {
      if (name == n.name) found = &n;
    }
    const bool bracket = pos < text.size() && text[pos] == '[';
    if (!found || (found->fixedIndex >= 0 && !digits.empty()) ||
        (found->fixedIndex < 0 && digits.empty() && !(bracket && found->file == VsReg::Const))) {
      Message("error", "bad register '%s'", text.c_str());
      return false;
    }
    op.file = found->file;
    uint32_t index = found->fixedIndex >= 0 ? static_cast<uint32_t>(found->fixedIndex) : 0;
    bool tooLarge = digits.size() > 6;
    if (!digits.empty() && !tooLarge) index = static_cast<uint32_t>(std::stoul(digits));

    if (bracket) {
      const size_t close = text.find(']', pos);
      if (found->file != VsReg::Const || destination || close == std::string::npos) {
        Message("error", "bad register '%s'", text.c_str());
        return false;
      }
      if (!ParseIndex(text.substr(pos + 1, close - pos - 1), &index, &op.relative, &tooLarge)) {
        Message("error", "bad index in '%s' (use c[a0.x + n])", text.c_str());
        return false;
      }
      pos = close + 1;
    }

    if (pos < text.size() && text[pos] == '.') {
      const std::string letters = text.substr(pos + 1);
      pos = text.size();
      if (destination ? !ParseMask(letters, &op.mask) : !ParseSwizzle(letters, &op.swizzle)) {
        Message("error", "bad %s '.%s' in '%s'", destination ? "write mask" : "swizzle",
                letters.c_str(), text.c_str());
        return false;
      }
      (destination ? parsed->maskGiven : parsed->swizzleGiven) = true;
    }
    if (pos != text.size()) {
      Message("error", "bad register '%s'", text.c_str());
      return false;
    }

    uint32_t limit = 0;
    switch (op.file) {
      case VsReg::Temp: limit = kVsTempCount; break;
      case VsReg::Input: limit = kVsInputCount; break;
      case VsReg::Const: limit = kVsConstCount; break;
      case VsReg::Address: limit = 1; break;
      case VsReg::RastOut: limit = 3; break;
      case VsReg::AttrOut: limit = kVsColorOutCount; break;
      case VsReg::TexCrdOut: limit = kVsTexCoordOutCount; break;
    }
    if (tooLarge || index >= limit) {
      Message("error", "register index out of range: '%s'", text.c_str());
      return false;
    }
    op.index = static_cast<uint16_t>(index);
    return true;
  }

  // The inside of c[...]: "a0.x", "n", "a0.x+n" or "n+a0.x"; n adds to a base written before
  // the bracket (c13[a0.x]).
  static bool ParseIndex(const std::string& inside, uint32_t* index, bool* relative,
                         bool* tooLarge) {
    bool sawNumber = false;
    size_t start = 0;
    while (start <= inside.size()) {
      size_t plus = inside.find('+', start);
      if (plus == std::string::npos) plus = inside.size();
      const std::string term = Lower(inside.substr(start, plus - start));
      if (term == "a0.x") {
        if (*relative) return false;
        *relative = true;
      } else if (!term.empty() && term.size() <= 6 &&
                 term.find_first_not_of("0123456789") == std::string::npos) {
        if (sawNumber) return false;
        sawNumber = true;
        *index += static_cast<uint32_t>(std::stoul(term));
      } else if (term.size() > 6 && term.find_first_not_of("0123456789") == std::string::npos) {
        *tooLarge = true;
        sawNumber = true;
      } else {
        return false;
      }
      start = plus + 1;
    }
    return *relative || sawNumber;
  }

  static bool ParseMask(const std::string& letters, uint8_t* mask) {
    if (letters.empty() || letters.size() > 4) return false;
    int previous = -1;
    uint8_t bits = 0;
    for (char c : letters) {
      const int component = ComponentOf(c);
      if (component <= previous) return false;  // unknown, repeated or out of order
      previous = component;
      bits = static_cast<uint8_t>(bits | (1u << component));
    }
    *mask = bits;
    return true;
  }

  // One to four letters; the last is repeated into the components not given (.xy = .xyyy).
  static bool ParseSwizzle(const std::string& letters, uint8_t* swizzle) {
    if (letters.empty() || letters.size() > 4) return false;
    uint32_t bits = 0;
    int component = 0;
    for (uint32_t i = 0; i < 4; ++i) {
      if (i < letters.size()) {
        component = ComponentOf(letters[i]);
        if (component < 0) return false;
      }
      bits |= static_cast<uint32_t>(component) << (2 * i);
    }
    *swizzle = static_cast<uint8_t>(bits);
    return true;
  }

  void Declaration(const std::string& usageText, const std::vector<std::string>& operands) {
    if (!program_.code.empty()) {
      Message("error", "dcl_%s must come before the instructions", usageText.c_str());
      return;
    }
    size_t digitsAt = usageText.size();
    while (digitsAt > 0 && std::isdigit(static_cast<unsigned char>(usageText[digitsAt - 1]))) {
      --digitsAt;
    }
    const std::string usageName = usageText.substr(0, digitsAt);
    const std::string digits = usageText.substr(digitsAt);
    int usage = -1;
    for (int u = 0; VsUsageName(static_cast<uint8_t>(u)); ++u) {
      if (usageName == VsUsageName(static_cast<uint8_t>(u))) usage = u;
    }
    if (usage < 0 || digits.size() > 2) {
      Message("error", "unknown declaration 'dcl_%s'", usageText.c_str());
      return;
    }
    const uint32_t usageIndex = digits.empty() ? 0u : static_cast<uint32_t>(std::stoul(digits));
    if (operands.size() != 1) {
      Message("error", "dcl_%s takes 1 operand, got %zu", usageText.c_str(), operands.size());
      return;
    }
    ParsedOperand parsed;
    if (!ParseOperand(operands[0], true, &parsed)) return;
    if (parsed.operand.file != VsReg::Input) {
      Message("error", "dcl_%s declares an input register (v0-v15), not '%s'", usageText.c_str(),
              operands[0].c_str());
      return;
    }
    const std::string problem =
        VsCheckDecl(program_.inputs, parsed.operand.index, static_cast<uint8_t>(usage),
                    static_cast<uint8_t>(usageIndex));
    if (!problem.empty()) {
      Message("error", "%s", problem.c_str());
      return;
    }
    program_.inputs[parsed.operand.index] =
        VsInputDecl{true, static_cast<uint8_t>(usage), static_cast<uint8_t>(usageIndex)};
  }

  void Instruction(const VsOpInfo& info, const std::vector<std::string>& operands) {
    const size_t expected = info.kind == VsOpKind::None ? 0u : 1u + info.srcCount;
    if (operands.size() != expected) {
      Message("error", "'%s' takes %zu operands, got %zu", info.name, expected, operands.size());
      return;
    }
    VsInstruction inst;
    inst.op = info.op;
    inst.srcCount = info.srcCount;
    inst.line = line_;
    if (expected > 0) {
      ParsedOperand dst;
      if (!ParseOperand(operands[0], true, &dst)) return;
      inst.dst = dst.operand;
      if (!dst.maskGiven) {
        inst.dst.mask = info.naturalMask;
        // Scalar registers take the one component they have.
        const bool scalarRegister =
            inst.dst.file == VsReg::Address ||
            (inst.dst.file == VsReg::RastOut && inst.dst.index != kVsOutPos);
        if (scalarRegister) inst.dst.mask = 0x1;
      }
      for (uint32_t s = 0; s < info.srcCount; ++s) {
        ParsedOperand src;
        if (!ParseOperand(operands[1 + s], false, &src)) return;
        inst.src[s] = src.operand;
        // Direct3D reads .w when a scalar instruction's source names no component.
        if (info.kind == VsOpKind::Scalar && !src.swizzleGiven) inst.src[s].swizzle = 0xFF;
      }
    }
    const std::string problem = VsCheckInstruction(inst, program_.inputs);
    if (!problem.empty()) {
      Message("error", "%s", problem.c_str());
      return;
    }
    WarnUnwritten(inst, info);
    program_.code.push_back(inst);
  }

  void WarnUnwritten(const VsInstruction& inst, const VsOpInfo& info) {
    for (uint32_t s = 0; s < inst.srcCount; ++s) {
      const VsOperand& o = inst.src[s];
      if (o.relative && !addressWritten_) Message("warning", "a0 is used before it is written");
      if (o.file != VsReg::Temp) continue;
      const uint32_t rows = info.kind == VsOpKind::Matrix && s == 1 ? info.rows : 1u;
      const uint8_t needed = VsSourceReadMask(inst, s);
      for (uint32_t r = o.index; r < o.index + rows && r < kVsTempCount; ++r) {
        const uint32_t missing = needed & ~tempWritten_[r];
        if (missing) {
          Message("warning", "r%u.%s is read before it is written", r,
                  MaskLetters(missing).c_str());
        }
      }
    }
    if (inst.dst.file == VsReg::Temp) tempWritten_[inst.dst.index] |= inst.dst.mask;
    if (inst.dst.file == VsReg::Address) addressWritten_ = true;
  }

  const D3DXMACRO* macros_;
  VsProgram program_;
  std::string messages_;
  int messageCount_ = 0;
  int errors_ = 0;
  bool versionSeen_ = false;
  uint32_t line_ = 0;
  uint32_t lastLine_ = 0;
  uint8_t tempWritten_[kVsTempCount] = {};
  bool addressWritten_ = false;
};

void Assembler::Message(const char* kind, const char* format, ...) {
  if (std::strcmp(kind, "error") == 0) ++errors_;
  if (++messageCount_ > kMaxMessages) {
    if (messageCount_ == kMaxMessages + 1) messages_ += "(too many messages; the rest left out)\n";
    return;
  }
  char text[384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "(line %u): %s: ", line_, kind);
  messages_ += prefix;
  messages_ += text;
  messages_ += '\n';
}

}  // namespace

std::string VsExpandMacros(const std::string& text, const D3DXMACRO* macros) {
  std::string out;
  out.reserve(text.size());
  std::vector<const D3DXMACRO*> active;
  Expand(text, macros, &active, &out);
  return out;
}

bool AssembleVs(const char* text, size_t length, const D3DXMACRO* macros, VsProgram* program,
                std::string* messages) {
  size_t used = 0;
  while (text && used < length && text[used] != '\0') ++used;
  Assembler assembler(macros);
  return assembler.Run(std::string(text ? text : "", used), program, messages);
}

}  // namespace gfx

#pragma once
// Device faults a test scripts: installed for the object's lifetime, so no test sees another's.
// Constructing one also restarts the peak count of live devices.

#include <cstdint>
#include <vector>

#include "Platform/Gfx/D3D.h"

class ScriptedDeviceFaults : public gfx::DeviceFaults {
 public:
  ScriptedDeviceFaults();
  ~ScriptedDeviceFaults() override;
  ScriptedDeviceFaults(const ScriptedDeviceFaults&) = delete;
  ScriptedDeviceFaults& operator=(const ScriptedDeviceFaults&) = delete;

  // Devices are lost until a Reset succeeds or a device is made; with `resetFails` every Reset
  // of the lost device fails as well.
  void ForceDeviceLost(bool resetFails) {
    m_deviceLost = true;
    m_resetFails = resetFails;
  }
  void FailDirect3DCreate(bool fail) { m_failDirect3DCreate = fail; }
  // The next `count` CreateDevice calls with these behaviour flags fail (0 = any flags).
  void FailCreateDevice(int count, uint32_t behaviorFlags) {
    m_failCreateDeviceCount = count;
    m_failCreateDeviceFlags = behaviorFlags;
  }
  void SetReportedVertexShaderVersion(uint32_t version) { m_vertexShaderVersion = version; }
  // Listed in place of the real modes; none restores the real list.
  void SetDisplayModes(const gfx::D3DDISPLAYMODE* modes, uint32_t count);

  bool ShouldFailDirect3DCreate() override { return m_failDirect3DCreate; }
  bool TakeCreateDeviceFailure(uint32_t behaviorFlags) override;
  uint32_t ReportedVertexShaderVersion() override { return m_vertexShaderVersion; }
  bool ReplacedDisplayModes(const gfx::D3DDISPLAYMODE** modes, uint32_t* count) override;
  bool IsDeviceLost() override { return m_deviceLost; }
  bool ResetFails() override { return m_resetFails; }
  void DeviceRestored() override { m_deviceLost = m_resetFails = false; }

 private:
  bool m_failDirect3DCreate = false;
  int m_failCreateDeviceCount = 0;
  uint32_t m_failCreateDeviceFlags = 0;
  uint32_t m_vertexShaderVersion = 0;
  std::vector<gfx::D3DDISPLAYMODE> m_displayModes;
  bool m_deviceLost = false;
  bool m_resetFails = false;
};

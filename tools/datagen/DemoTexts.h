#pragma once
// The English texts of the demo data's "PendrakeText.els": every text id the mini-games show and
// the front end's menu texts from 1000 on. Ids missing from the table are written as empty texts.

#include <cstdint>

struct DemoText {
  int32_t id;
  const char* text;  // UTF-8
};

inline constexpr DemoText kDemoTexts[] = {
    // In-game messages and prompts.
    {10, "Press E to take this board!"},
    {93, "LEVEL COMPLETE!"},
    {95, "CHALLENGE COMPLETE!"},
    {96, "TIME UP!"},
    {106, "TIME UP!"},
    {144, "GOAL!"},
    {145, "OUT!"},
    {147, "BLOCKED!"},
    {148, "SO CLOSE!"},
    {149, "Press E to go back to your chair"},
    // The dive list's dive names.
    {177, "Somersault"},
    {191, "Twist"},
    {192, "Pike"},
    {193, "Aeroplane"},
    {194, "Tuck"},
    {195, "Corkscrew"},
    {196, "Torpedo"},
    // Front end.
    {1000, "DIVING"},
    {1001, "PENALTY KICKS"},
    {1002, "PIRATE PAIRS"},
    {1003, "MODE"},
    {1004, "NORMAL"},
    {1005, "CHALLENGE 1"},
    {1006, "CHALLENGE 2"},
    {1007, "DIFFICULTY"},
    {1008, "EASY"},
    {1009, "MEDIUM"},
    {1010, "HARD"},
    {1011, "VIDEO"},
    {1012, "QUIT"},
    {1013, "LOADING..."},
    {1014, "YOU WON!"},
    {1015, "GAME OVER"},
    {1016, "NEW HIGH SCORE"},
    {1017, "CHALLENGE COMPLETE"},
    {1018, "This game is not built yet"},
    {1019, "TWO PLAYERS"},
    {1020, "CONNECTION LOST"},
    {1021, "GAMES OUT OF STEP"},
    {1022, "PAUSED"},
    {1023, "SCORE"},
    {1024, "BACK"},
    {1025, "THIS GAME'S DATA IS MISSING"},
    {1026, "YOUR SAVED GAME WAS DAMAGED"},
    {1027, "YOUR SAVED GAME IS FROM A NEWER VERSION"},
    {1028, "A fresh one starts; the old file is kept"},
    {1029, "WAITING FOR THE OTHER PLAYER"},
};

#pragma once

#include <array>

// The instrument's words for each coded setting, in code order: what the queries answer and,
// where a command takes a word, what is sent back.
namespace InstrumentWords {

inline constexpr std::array<const char*, 6> Wiring{"1P2W",   "1P3W", "3P3W",
                                                   "3P3W3M", "3P4W", "3P4W4I"};
inline constexpr std::array<const char*, 4> CirNum{"1", "2", "3", "4"};
inline constexpr std::array<const char*, 2> Sampling{"PLL", "FIX"};
inline constexpr std::array<const char*, 2> Freq{"50", "60"};
inline constexpr std::array<const char*, 2> VarMethod{"OFF", "ON"};
inline constexpr std::array<const char*, 3> URange{"150", "300", "600"};
// As the queries answer them; the command for code 3 is "FLX-5K" (see SensText).
inline constexpr std::array<const char*, 6> Sens{"CLA", "CLB", "FLX-500", "FLX-5k", "CLC", "CLD"};
inline constexpr std::array<double, 10> IRange{0.5, 1, 5, 10, 50, 100, 200, 500, 1000, 5000};
inline constexpr std::array<const char*, 3> StartMeth{"MANUAL", "TIME", "JUST"};
inline constexpr std::array<const char*, 3> StopMeth{"MANUAL", "TIME", "TIMER"};
inline constexpr std::array<const char*, 17> Intvl{"ALL", "0.1S", "0.2S", "0.5S", "1S", "2S",
                                                   "5S",  "10S",  "15S",  "30S",  "1M", "2M",
                                                   "5M",  "10M",  "15M",  "30M",  "60M"};
inline constexpr std::array<const char*, 2> Media{"CARD", "MEMORY"};
inline constexpr std::array<const char*, 2> RSConnection{"PC", "PRINTER"};
inline constexpr std::array<const char*, 3> CopyDst{"CARD", "MEMORY", "PRINTER"};
inline constexpr std::array<const char*, 2> OffOn{"OFF", "ON"};
inline constexpr std::array<const char*, 2> THDType{"F", "R"};
inline constexpr std::array<const char*, 4> Baud{"2400", "9600", "19200", "38400"};
inline constexpr std::array<const char*, 2> Term{"1", "2"};
inline constexpr std::array<const char*, 4> Flow{"OFF", "XONXOFF", "RTSCTS", "BOTH"};
inline constexpr std::array<const char*, 3> BL{"OFF", "ON", "AUTO"};
inline constexpr std::array<const char*, 2> Beep{"OFF", "ON"};
inline constexpr std::array<const char*, 6> Lang{"JAPANESE", "ENGLISH",  "GERMAN",
                                                 "ITALIAN",  "CHINESE1", "CHINESE2"};

// The averaging counts the instrument knows.
inline constexpr std::array<int, 5> AverageCounts{1, 2, 5, 10, 20};

} // namespace InstrumentWords

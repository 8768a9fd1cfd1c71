// What the merge and the options file tell the user, in the host's code page.
// Each text is named once here; the message box shows the 0x01 ... 0x01
// display marks as commands of its own.
#pragma once

#include <cstdint>

#include "host/mazovia.h"

namespace scalarka {

inline constexpr const auto& warningTitle = mazovia<u8"Uwaga">;
inline constexpr const auto& errorTitle = mazovia<u8"Błąd">;

// Message box styles: an ordinary message the user dismisses, and a progress
// notice the host shows without waiting.
inline constexpr std::int32_t messageStyle = 1;
inline constexpr std::int32_t progressStyle = 512;

inline constexpr const auto& approvalNotWithdrawn = mazovia<u8"Problem z wycofaniem zatwierdzenia!">;
inline constexpr const auto& mergingNotice = mazovia<u8"Łączenie takich samych pozycji...">;
inline constexpr const auto& documentTableMissing =
    // Two pieces: in one, the escape of the first mark would read "cB" as more hex digits.
    mazovia<
        u8"\x01"
        "cBłąd nr 1 operacji dyskowej w badajNumeracje!\nOperacja niekompletna!\x01">;

inline constexpr const auto& optionsReadFailed =
    mazovia<u8"Błąd podczas czytania opcji raportu!\n Niektóre opcje zostaną zresetowane!">;
inline constexpr const auto& optionsWriteFailed =
    mazovia<u8"Nie można otworzyc pliku z opcjami raportu!\n Niektóre opcje nie zostaną zapisane!">;

}  // namespace scalarka

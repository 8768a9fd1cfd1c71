#include "options/install_notice.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/lifecycle.h"
#include "host/host_services.h"
#include "host/mazovia.h"

namespace scalarka {
namespace {

constexpr char iniFile[] = "WtyczkiG.ini";
// The plug-in's own name, fixed: renaming the library's file keeps its settings.
constexpr char iniSection[] = "Scalarka";
constexpr char askKey[] = "Pytaj";

// The host's kind code of the notice box that can stop further notices.
constexpr std::int32_t installNoticeKind = 0x684;

constexpr const auto& installNoticeFormat = mazovia<u8"Zainstalowano wtyczkę do programu:\n%s">;
// The notice names the plug-in by its title on a line of its own: 79 characters.
constexpr std::size_t installNoticeLength = sizeof(installNoticeFormat) - 1 - 2 + sizeof(pluginTitle) - 1;
static_assert(installNoticeLength == 79);

// Only the low 16 bits of the stored number form the flag, a signed 16-bit
// number; it is written back widened, so 0xFFFF is stored as -1.
std::int32_t noticeFlag(std::int32_t stored) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(stored) & 0xFFFFu));
}

}  // namespace

std::int32_t pluginIni(const char* file, std::int32_t operation, const char* section, const char* key,
                       const char* format, ...) {
    va_list values;
    va_start(values, format);
    const std::int32_t result = hostIniService(file, operation, section, key, format, values);
    va_end(values);
    return result;
}

std::int32_t showInstallNotice() {
    std::int32_t flag = 0;
    if ((pluginIni(iniFile, iniRead, iniSection, askKey, "%d", &flag) & 0xFFFF) != 0) {
        // Not read: as if the flag were 0; the write below creates the key.
        flag = 0;
    } else if (noticeFlag(flag) != 0) {
        return 0;
    }
    char title[sizeof(pluginTitle)];
    std::memcpy(title, pluginTitle.data(), sizeof title);
    char notice[installNoticeLength + 1];
    std::snprintf(notice, sizeof notice, installNoticeFormat.data(), title);
    hostNoticeBox(installNoticeKind, &flag, 0, notice);
    pluginIni(iniFile, iniWrite, iniSection, askKey, "%d", noticeFlag(flag));
    return 0;
}

}  // namespace scalarka

// The emulated host program: the records it keeps, the answers its services
// give, and the plug-in it has loaded. One Host at a time answers the
// plug-in's calls; tests and the korpus program create it, configure it,
// load the plug-in and drive it as the real host would.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "emulator/core/document.h"
#include "emulator/core/files.h"
#include "emulator/core/trace.h"
#include "host/table_descriptor.h"

namespace korpus {

using CodeAddress = void (*)();

// Service ordinals the host exports (besides the plug-in's view of them, the
// host also exports its callback, 30006).
inline constexpr std::uint16_t callbackOrdinal = 30006;

struct HostConfig {
    // The host's current directory: "Scalarka.dat" and "WtyczkiG.ini" live
    // here, and so does the installed plug-in. Empty: a fresh temporary one.
    std::filesystem::path directory;
    // Services (or the callback, 30006) that this host does not export.
    std::set<std::uint16_t> missingOrdinals;
    // The module handshake: its answer, and the explanation it writes into a
    // buffer when it refuses (Mazovia bytes).
    std::int32_t handshakeResult = 0;
    std::string handshakeExplanation;
    std::int32_t interfaceVersion = 112;
    // Record sizes of the two tables; nullopt: the host has no such table.
    std::optional<std::int16_t> documentRecordSize = 1469;
    std::optional<std::int16_t> lineRecordSize = 515;
    bool debuggerAttached = false;
    // The host's own handler on the line table, and what it returns.
    bool lineTableHasHandler = true;
    std::int32_t lineHandlerResult = 0;
    // What the host writes into the plug-in's word of unsupported features
    // before it asks for the start-up report; nullopt leaves it alone.
    std::optional<std::uint32_t> unsupportedFeatures = 0;

    // The document and file services' settings.
    // The file holder's take stream (22567) throws std::runtime_error instead
    // of handing out the stream, as a failing host may; the holder then still
    // owns the stream, and destroying it closes the stream.
    bool holderTakeStreamThrows = false;
    // Bits the symbol parser (52126) sets above the low 16 bits of every
    // result, which its callers are to ignore (a rejection stays a rejection).
    std::uint32_t symbolParserHighBits = 0;

    // The dialog services' settings.
    // Keys the user presses in the host's dialogs (52026), in order: "F1" to
    // "F12", a letter, "Esc". Each dialog takes keys from the front until one
    // closes it; a dialog that finds no key left is closed with Esc.
    std::vector<std::string> dialogKeys;
    // When the scripted keys are used up: asks a person at the keyboard,
    // showing the dialog's screen, for the next key (same names as above).
    std::function<std::string(const std::string& screen)> dialogKeyReader;
    // The flag the user leaves in the notice box (52023); nullopt: untouched.
    std::optional<std::int32_t> noticeFlagAnswer;
    // What the handler handed out by the handler lookup (40101) returns.
    std::int32_t formHandlerResult = 0;
};

// A message the host showed, with its texts in UTF-8.
struct ShownMessage {
    std::string service;  // "messageBox", "textMessage", "formattedMessageBox", "noticeBox"
    std::string title;
    std::string text;
};

// A dialog the host showed (52026), its screens in UTF-8.
struct ShownDialog {
    std::int32_t dialogId = 0;
    const void* form = nullptr;  // as the caller handed it over
    std::string title;
    std::vector<std::string> keys;  // pressed, in order
    std::string openingScreen;
    std::string closingScreen;
    std::int32_t result = 0;
};

// The arguments the handler from the handler lookup (40101) received.
struct FormHandlerCall {
    std::intptr_t arguments[4];
};

// An argument list the host's line handler received.
struct HandlerCall {
    std::intptr_t arguments[11];
    std::int32_t lineCountSeen;
};

class PluginModule;

class Host {
   public:
    explicit Host(HostConfig config = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host whose services answer now; null when none exists.
    static Host* current();

    HostConfig& config() { return config_; }
    const std::filesystem::path& directory() const { return config_.directory; }
    Trace& trace() { return trace_; }
    std::vector<ShownMessage>& messages() { return messages_; }
    std::vector<std::string>& debuggerOutput() { return debuggerOutput_; }
    std::vector<std::pair<std::int32_t, std::int32_t>>& callbackCalls() { return callbackCalls_; }
    std::vector<HandlerCall>& lineHandlerCalls() { return lineHandlerCalls_; }

    // The table descriptor the host hands out for a table number, or null.
    scalarka::TableDescriptor* table(std::int32_t number);
    // The host's own handler of the line table, as the table had it at start.
    static scalarka::TableEventHandler ownLineHandler();

    Document& document() { return document_; }

    // What the document and file services keep: the key codes passed to the
    // key code call (33197), every approval withdrawal (52004, its address is
    // the value the release takes back), the streams the plug-in has open.
    std::vector<std::int32_t>& keyCodes() { return keyCodes_; }
    std::deque<Withdrawal>& withdrawals() { return withdrawals_; }
    FileTable& files() { return files_; }
    std::size_t openStreams() const { return files_.size(); }

    // What the dialog services keep: every dialog shown, and every call of
    // the handler that the handler lookup hands out.
    std::vector<ShownDialog>& dialogs() { return dialogs_; }
    std::vector<FormHandlerCall>& formHandlerCalls() { return formHandlerCalls_; }

    // The service exported under an ordinal, or null when this host lacks it.
    CodeAddress service(std::uint16_t ordinal) const;

    // Installs the built plug-in into the host's directory as "Scalarka.dll"
    // and loads it, the host module first. Throws when loading fails.
    void loadPlugin(const std::filesystem::path& builtPlugin);
    void unloadPlugin();
    PluginModule& plugin();
    bool pluginLoaded() const { return plugin_ != nullptr; }

    // The entry points, called as the host calls them, with a trace note.
    std::int32_t pluginInit(bool withCallback = true, char* titleBuffer = nullptr);
    std::int32_t pluginStart(std::int32_t mode);
    std::int32_t pluginExtra();
    std::int32_t pluginConfigure(std::int32_t argument);

    // An event of the item list (a key, printing): the host calls the line
    // table's handler with the document's kind, line count and lines.
    std::int32_t lineEvent(std::int32_t eventCode, std::intptr_t eventArgument = 0);

   private:
    struct Table {
        alignas(16) scalarka::TableDescriptor descriptor{};
        std::uint8_t rest[64]{};  // the host keeps more than the plug-in sees
    };

    HostConfig config_;
    bool ownsDirectory_ = false;
    Trace trace_;
    std::vector<ShownMessage> messages_;
    std::vector<std::string> debuggerOutput_;
    std::vector<std::pair<std::int32_t, std::int32_t>> callbackCalls_;
    std::vector<HandlerCall> lineHandlerCalls_;
    Table documentTable_;
    Table lineTable_;
    Document document_;
    std::vector<std::int32_t> keyCodes_;
    std::deque<Withdrawal> withdrawals_;
    FileTable files_;
    std::vector<ShownDialog> dialogs_;
    std::vector<FormHandlerCall> formHandlerCalls_;
    std::map<std::uint16_t, CodeAddress> services_;
    std::unique_ptr<PluginModule> plugin_;
};

// Every service the emulated host implements, by ordinal. Each group of
// services registers itself in its own file.
using ServiceMap = std::map<std::uint16_t, CodeAddress>;
void registerFrameServices(ServiceMap& services);
void registerDocumentServices(ServiceMap& services);
void registerFileServices(ServiceMap& services);
void registerDialogServices(ServiceMap& services);
ServiceMap allServices();
CodeAddress hostCallbackAddress();

template <typename Function>
CodeAddress serviceAddress(Function* function) {
    return reinterpret_cast<CodeAddress>(function);
}

}  // namespace korpus

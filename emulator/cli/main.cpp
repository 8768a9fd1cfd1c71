// korpus: the emulated host as a program. It loads Scalarka the way the real
// host does, opens a sales document, plays the keys and events a shop
// assistant would, and shows the item list before and after, the messages the
// plug-in showed and, on request, every call it made into the host.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "emulator/cli/item_table.h"
#if defined(KORPUS_INTERACTIVE)
#include "emulator/cli/interactive.h"
#endif
#include "emulator/core/host.h"
#include "emulator/core/plugin_module.h"

namespace {

using korpus::Host;
using korpus::HostConfig;

constexpr const char* usage = R"(usage: korpus [options] DOCUMENT.json [EVENT...]

Loads the Scalarka plug-in into the emulated host, opens the document, shows
its item list, plays the events in order and shows the item list after them.

events:
  P, p        the P key in the item list (merges when the options say so)
  F7          approval in the warehouse
  print       printing the document (event 2009; print2010 for 2010)
  options:KEYS  the plug-in's options dialog, with the keys pressed in it,
              joined by + (F3..F12, a letter, Esc), e.g. options:F3+N+F12
  report      the plug-in's start-up report (pluginStart with mode 1)
  detach      the host detaches the plug-in

options:
  --options FILE   use this Scalarka.dat (default: VAT invoices, trigger P,
                   name not compared, weighed goods off)
  --trace          print every call the plug-in made into the host
  --plugin FILE    the plug-in to load (default: the one built beside korpus)
  --debugger       run as if a debugger were attached (shows debugger output)
  --interactive    the item list on the full screen: arrows move, P merges,
                   F7 approves, F3 prints, F9 opens the plug-in's options,
                   F10 asks for its start-up report, Q quits
)";

// The options a new installation is shown with in this demo: VAT invoices,
// price, discount and VAT rate compared, merge on P.
constexpr unsigned char defaultOptions[8] = {0x01, 0x00, 0x38, 0x00, 0x00, 0x00, 0x00, 0x00};

struct Arguments {
    std::filesystem::path document;
    std::vector<std::string> events;
    std::optional<std::filesystem::path> options;
    std::optional<std::filesystem::path> plugin;
    bool trace = false;
    bool debugger = false;
    bool interactive = false;
};

std::optional<Arguments> parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--trace") {
            arguments.trace = true;
        } else if (argument == "--debugger") {
            arguments.debugger = true;
        } else if (argument == "--interactive") {
            arguments.interactive = true;
        } else if ((argument == "--options" || argument == "--plugin") && i + 1 < argc) {
            (argument == "--options" ? arguments.options : arguments.plugin) = argv[++i];
        } else if (argument.starts_with("--")) {
            return std::nullopt;
        } else if (arguments.document.empty()) {
            arguments.document = argument;
        } else {
            arguments.events.push_back(argument);
        }
    }
    if (arguments.document.empty()) {
        return std::nullopt;
    }
    return arguments;
}

void writeOptions(const Arguments& arguments, const std::filesystem::path& directory) {
    const std::filesystem::path target = directory / "Scalarka.dat";
    if (arguments.options) {
        std::filesystem::copy_file(*arguments.options, target, std::filesystem::copy_options::overwrite_existing);
        return;
    }
    std::ofstream file(target, std::ios::binary);
    file.write(reinterpret_cast<const char*>(defaultOptions), sizeof defaultOptions);
}

void showMessages(const std::vector<korpus::ShownMessage>& messages, std::size_t from) {
    for (std::size_t i = from; i < messages.size(); ++i) {
        const korpus::ShownMessage& message = messages[i];
        std::string text = korpus::displayText(message.text);
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
            text.insert(at + 1, "    ");
        }
        std::cout << "  [" << message.service << (message.title.empty() ? "" : ": " + message.title) << "] " << text
                  << "\n";
    }
}

int play(Host& host, const std::string& event) {
    if (event == "P" || event == "p") {
        return host.lineEvent(event == "P" ? 80 : 112);
    }
    if (event == "F7") {
        return host.lineEvent(0x4100);
    }
    if (event == "print") {
        return host.lineEvent(2009);
    }
    if (event == "print2010") {
        return host.lineEvent(2010);
    }
    if (event.starts_with("options:")) {
        std::vector<std::string>& keys = host.config().dialogKeys;
        keys.clear();
        std::string rest = event.substr(8);
        for (std::size_t separator = rest.find('+'); !rest.empty(); separator = rest.find('+')) {
            keys.push_back(rest.substr(0, separator));
            rest = separator == std::string::npos ? "" : rest.substr(separator + 1);
        }
        const std::size_t shown = host.dialogs().size();
        const int result = host.pluginConfigure(0);
        if (host.dialogs().size() > shown) {
            const korpus::ShownDialog& dialog = host.dialogs().back();
            std::cout << dialog.closingScreen << "  closed with 0x" << std::hex << (dialog.result & 0xFFFF) << std::dec
                      << "\n";
        }
        return result;
    }
    if (event == "report") {
        return host.pluginStart(1);
    }
    if (event == "detach") {
        return host.pluginInit(false);
    }
    throw std::invalid_argument("unknown event: " + event);
}

int run(const Arguments& arguments) {
    HostConfig config;
    config.debuggerAttached = arguments.debugger;
    Host host(config);
    writeOptions(arguments, host.directory());
    host.document() = korpus::loadDocument(arguments.document);

    host.loadPlugin(arguments.plugin.value_or(korpus::builtPluginPath()));
    const int attached = host.pluginInit();
    const int activated = host.pluginStart(0);
#if defined(KORPUS_INTERACTIVE)
    if (arguments.interactive) {
        korpus::runInteractive(host, arguments.document.filename().string());
        return attached == 0 && activated == 0 ? 0 : 1;
    }
#endif
    std::cout << "Scalarka: attach " << (attached == 0 ? "ok" : "refused") << ", activation "
              << (activated == 0 ? "ok" : "refused") << "\n";
    showMessages(host.messages(), 0);

    std::cout << "\nDocument " << arguments.document.filename().string() << ", kind " << host.document().kind
              << ", before:\n"
              << korpus::itemTable(host.document());
    for (const std::string& event : arguments.events) {
        const std::size_t shown = host.messages().size();
        std::cout << "\n> " << event << "\n";
        play(host, event);
        showMessages(host.messages(), shown);
    }
    std::cout << "\nAfter:\n" << korpus::itemTable(host.document());

    if (!host.debuggerOutput().empty()) {
        std::cout << "\nDebugger output:\n";
        for (const std::string& line : host.debuggerOutput()) {
            std::cout << "  " << line;
        }
    }
    if (arguments.trace) {
        std::cout << "\nHost calls:\n" << host.trace().text();
    }
    host.unloadPlugin();
    return attached == 0 && activated == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Arguments> arguments = parse(argc, argv);
    if (!arguments) {
        std::fputs(usage, stderr);
        return 2;
    }
    try {
        return run(*arguments);
    } catch (const std::exception& error) {
        std::cerr << "korpus: " << error.what() << "\n";
        return 2;
    }
}

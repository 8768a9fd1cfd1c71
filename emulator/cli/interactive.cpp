#include "emulator/cli/interactive.h"

#include <curses.h>

#include <algorithm>
#include <clocale>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/cli/item_table.h"

namespace korpus {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The start of a UTF-8 text that fits in `columns` terminal columns.
std::string fitted(const std::string& utf8, int columns) {
    std::size_t end = 0;
    int used = 0;
    while (end < utf8.size()) {
        if ((static_cast<unsigned char>(utf8[end]) & 0xC0) != 0x80) {
            if (used == columns) {
                break;
            }
            ++used;
        }
        ++end;
    }
    return utf8.substr(0, end);
}

int columnsOf(const std::string& utf8) {
    int columns = 0;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++columns;
        }
    }
    return columns;
}

// A message box in the middle of the screen, closed by any key.
void showBox(const std::string& title, const std::string& text) {
    std::vector<std::string> lines = splitLines(displayText(text));
    int width = columnsOf(title) + 4;
    for (const std::string& line : lines) {
        width = std::max(width, columnsOf(line) + 4);
    }
    width = std::min(width, COLS - 2);
    const int height = std::min(static_cast<int>(lines.size()) + 4, LINES - 2);
    WINDOW* box = newwin(height, width, (LINES - height) / 2, (COLS - width) / 2);
    wattron(box, A_REVERSE);
    for (int y = 0; y < height; ++y) {
        mvwhline(box, y, 0, ' ', width);
    }
    ::box(box, 0, 0);
    if (!title.empty()) {
        mvwaddstr(box, 0, 2, (" " + title + " ").c_str());
    }
    for (int i = 0; i < static_cast<int>(lines.size()) && i + 2 < height - 1; ++i) {
        mvwaddstr(box, i + 2, 2, lines[static_cast<std::size_t>(i)].c_str());
    }
    wattroff(box, A_REVERSE);
    wrefresh(box);
    wgetch(box);
    delwin(box);
    touchwin(stdscr);
}

// The name the dialog service knows a key by: "F1" to "F12", "Esc", a letter.
std::string keyName(int key) {
    for (int n = 1; n <= 12; ++n) {
        if (key == KEY_F(n)) {
            return "F" + std::to_string(n);
        }
    }
    if (key == 27) {
        return "Esc";
    }
    if (key >= 'a' && key <= 'z') {
        return std::string(1, static_cast<char>(key - 'a' + 'A'));
    }
    if (key >= 'A' && key <= 'Z') {
        return std::string(1, static_cast<char>(key));
    }
    return "";
}

// Draws a dialog's screen in the middle of the terminal and waits for a key
// the dialog knows.
std::string readDialogKey(const std::string& screen) {
    const std::vector<std::string> lines = splitLines(screen);
    int width = 0;
    for (const std::string& line : lines) {
        width = std::max(width, columnsOf(line));
    }
    const int top = std::max(0, (LINES - static_cast<int>(lines.size())) / 2);
    const int left = std::max(0, (COLS - width) / 2);
    for (int i = 0; i < static_cast<int>(lines.size()) && top + i < LINES; ++i) {
        mvaddstr(top + i, left, fitted(lines[static_cast<std::size_t>(i)], COLS - left).c_str());
    }
    refresh();
    for (;;) {
        std::string name = keyName(getch());
        if (!name.empty()) {
            return name;
        }
    }
}

class Screen {
   public:
    Screen(Host& host, std::string documentName) : host_(host), documentName_(std::move(documentName)) {}

    void draw() {
        erase();
        attron(A_REVERSE);
        mvhline(0, 0, ' ', COLS);
        mvaddstr(0, 1,
                 ("KORPUS  dokument " + documentName_ + "  rodzaj " + std::to_string(host_.document().kind)).c_str());
        attroff(A_REVERSE);

        const std::vector<std::string> table = splitLines(itemTable(host_.document()));
        const int traceRows = std::max(4, LINES / 3);
        const int listRows = LINES - traceRows - 3;
        for (int i = 0; i < static_cast<int>(table.size()) && i < listRows; ++i) {
            const bool selected = i == cursor_ + 1;
            if (selected) {
                attron(A_REVERSE);
            }
            mvaddstr(2 + i, 0, fitted(table[static_cast<std::size_t>(i)], COLS - 1).c_str());
            if (selected) {
                attroff(A_REVERSE);
            }
        }

        const int traceTop = LINES - traceRows - 1;
        mvhline(traceTop, 0, ACS_HLINE, COLS);
        mvaddstr(traceTop, 2, " Wywołania programu przez wtyczkę ");
        const std::vector<std::string>& trace = host_.trace().lines();
        const int shown = std::min(traceRows - 1, static_cast<int>(trace.size()));
        for (int i = 0; i < shown; ++i) {
            const std::string& line = trace[trace.size() - static_cast<std::size_t>(shown - i)];
            mvaddstr(traceTop + 1 + i, 1, fitted(line, COLS - 2).c_str());
        }

        attron(A_REVERSE);
        mvhline(LINES - 1, 0, ' ', COLS);
        mvaddstr(LINES - 1, 1, "P łącz  F7 zatwierdź  F3 drukuj  F9 opcje wtyczki  F10 raport  Q koniec");
        attroff(A_REVERSE);
        refresh();
    }

    void moveCursor(int by) {
        const int lines = static_cast<int>(splitLines(itemTable(host_.document())).size()) - 2;
        cursor_ = std::clamp(cursor_ + by, 0, std::max(0, lines - 1));
    }

   private:
    Host& host_;
    std::string documentName_;
    int cursor_ = 0;
};

// Messages the plug-in showed since `from`, each as a box.
void showNewMessages(Host& host, std::size_t from) {
    for (std::size_t i = from; i < host.messages().size(); ++i) {
        const ShownMessage& message = host.messages()[i];
        showBox(message.title, message.text);
    }
}

}  // namespace

int runInteractive(Host& host, const std::string& documentName) {
    std::setlocale(LC_ALL, "");
    initscr();
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    // The options dialog is drawn by the host's dialog service, which asks
    // the person at the keyboard for each key.
    host.config().dialogKeyReader = readDialogKey;
    Screen screen(host, documentName);
    std::size_t seen = 0;
    for (;;) {
        screen.draw();
        showNewMessages(host, seen);
        seen = host.messages().size();
        screen.draw();
        const int key = getch();
        if (key == 'q' || key == 'Q') {
            break;
        }
        switch (key) {
            case KEY_UP: screen.moveCursor(-1); break;
            case KEY_DOWN: screen.moveCursor(1); break;
            case 'P': host.lineEvent(80); break;
            case 'p': host.lineEvent(112); break;
            case KEY_F(7): host.lineEvent(0x4100); break;
            case KEY_F(3): host.lineEvent(2009); break;
            case KEY_F(9): host.pluginConfigure(0); break;
            case KEY_F(10): host.pluginStart(1); break;
            default: break;
        }
    }
    host.config().dialogKeyReader = nullptr;
    endwin();
    return 0;
}

}  // namespace korpus

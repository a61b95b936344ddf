// Layout file reader. One statement per line; '#' starts a comment outside quotes.
#include "uis/uis_layout.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct Token {
    std::string key;   // set for key=value tokens
    std::string value; // the word, the quoted text or the value of key=value
    bool hasKey = false;
    bool quoted = false; // the token (or its value) was written in quotes
};

// The first key that two key=value tokens from `from` on share, or "" when every key is new.
std::string repeatedKey(const std::vector<Token>& tokens, size_t from) {
    for (size_t i = from; i < tokens.size(); i++) {
        for (size_t j = from; j < i; j++) {
            if (tokens[i].hasKey && tokens[j].hasKey && tokens[i].key == tokens[j].key)
                return tokens[i].key;
        }
    }
    return "";
}

// Splits a line into tokens. Returns false on an unterminated quote or a bad escape.
bool tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error) {
    tokens.clear();
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            i++;
            continue;
        }
        if (c == '#') break;
        Token t;
        bool inWord = true;
        while (i < n && inWord) {
            const char d = line[i];
            if (d == ' ' || d == '\t' || d == '\r') {
                inWord = false;
            } else if (d == '"') {
                // A quoted text ends its word (checked where it closes): this is the first.
                if (!t.value.empty()) {
                    error = "quote inside a word";
                    return false;
                }
                t.quoted = true;
                i++;
                bool closed = false;
                while (i < n) {
                    const char q = line[i++];
                    if (q == '"') {
                        closed = true;
                        break;
                    }
                    if (q == '\\') {
                        if (i >= n) break;
                        const char e = line[i++];
                        if (e == 'n')
                            t.value += '\n';
                        else if (e == '"' || e == '\\')
                            t.value += e;
                        else {
                            error = "unknown escape in quoted text";
                            return false;
                        }
                    } else {
                        t.value += q;
                    }
                }
                if (!closed) {
                    error = "unterminated quote";
                    return false;
                }
                if (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                    error = "text after a quoted value";
                    return false;
                }
            } else if (d == '=' && !t.hasKey && !t.quoted) {
                if (t.value.empty()) {
                    error = "'=' without a key";
                    return false;
                }
                t.hasKey = true;
                t.key = t.value;
                t.value.clear();
                i++;
            } else {
                t.value += d;
                i++;
            }
        }
        tokens.push_back(t);
    }
    return true;
}

bool parseInt(const Token& t, int& out) {
    if (t.hasKey || t.quoted || t.value.empty()) return false;
    const char* s = t.value.c_str();
    char* end = nullptr;
    errno = 0;
    const long v = strtol(s, &end, 0);
    if (errno != 0 || end == s || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool parseIntText(const std::string& text, int& out) {
    Token t;
    t.value = text;
    return parseInt(t, out);
}

bool isName(const std::string& s) {
    if (s.empty()) return false;
    for (size_t i = 0; i < s.size(); i++) {
        const char c = s[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

bool kindFromName(const std::string& word, UiControlKind& kind) {
    static const UiControlKind kinds[] = {UI_BUTTON,  UI_RING, UI_TEXTBOX, UI_NUMERIC, UI_STRING,
                                          UI_TEXTMSG, UI_LED,  UI_LISTBOX, UI_PROGRESS};
    for (UiControlKind k : kinds) {
        if (word == uis_KindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

// items="label:value|label:value", added to the control's list; the value follows the last ':'
// of each entry.
bool parseItems(const std::string& text, std::vector<UiListItem>& items) {
    if (text.empty()) return true;
    size_t start = 0;
    while (true) {
        const size_t bar = text.find('|', start);
        const std::string entry =
            text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        const size_t colon = entry.rfind(':');
        if (colon == std::string::npos) return false;
        UiListItem item;
        item.label = entry.substr(0, colon);
        if (!parseIntText(entry.substr(colon + 1), item.value)) return false;
        items.push_back(item);
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return true;
}

class Parser {
  public:
    Parser(UiLayout& layout, std::string& error) : layout_(layout), error_(error) {}

    bool line(const std::vector<Token>& t) {
        if (t.empty()) return true;
        if (t[0].hasKey || t[0].quoted) return fail("statement expected");
        const std::string& word = t[0].value;
        if (word == "panel") return panel(t);
        if (word == "menubar") return menuBar(t);
        if (word == "menu") return menu(t);
        if (word == "item") return item(t);
        if (word == "separator") return separator(t);
        UiControlKind kind;
        if (kindFromName(word, kind)) return control(kind, t);
        return fail("unknown statement '" + word + "'");
    }

  private:
    bool fail(const std::string& why) {
        error_ = why;
        return false;
    }

    // An option given twice on one line is a slip of the pen: refused, not last-one-wins.
    bool optionsOnce(const std::vector<Token>& t, size_t from, const char* statement) {
        const std::string key = repeatedKey(t, from);
        return key.empty() || fail(std::string(statement) + ": option '" + key + "' given twice");
    }

    bool panel(const std::vector<Token>& t) {
        UiPanel p{};
        if (t.size() < 5) return fail("panel: number, title, width and height expected");
        if (!parseInt(t[1], p.resource) || p.resource <= 0) return fail("panel: bad number");
        if (!t[2].quoted || t[2].hasKey) return fail("panel: quoted title expected");
        p.title = t[2].value;
        if (!parseInt(t[3], p.width) || !parseInt(t[4], p.height) || p.width <= 0 || p.height <= 0)
            return fail("panel: bad size");
        if (!optionsOnce(t, 5, "panel")) return false;
        for (size_t i = 5; i < t.size(); i++) {
            if (!t[i].hasKey || t[i].key != "close") return fail("panel: unknown option");
            if (!isName(t[i].value)) return fail("panel: bad callback name");
            p.closeCallback = t[i].value;
        }
        for (const UiPanel& other : layout_.panels) {
            if (other.resource == p.resource) return fail("panel: number used twice");
        }
        layout_.panels.push_back(p);
        inPanel_ = true;
        inMenuBar_ = false;
        return true;
    }

    bool menuBar(const std::vector<Token>& t) {
        UiMenuBar m{};
        if (t.size() != 2 || !parseInt(t[1], m.resource) || m.resource <= 0)
            return fail("menubar: number expected");
        for (const UiMenuBar& other : layout_.menuBars) {
            if (other.resource == m.resource) return fail("menubar: number used twice");
        }
        layout_.menuBars.push_back(m);
        inPanel_ = false;
        inMenuBar_ = true;
        return true;
    }

    bool menu(const std::vector<Token>& t) {
        if (!inMenuBar_) return fail("menu outside a menubar");
        if (t.size() != 2 || !t[1].quoted || t[1].hasKey)
            return fail("menu: quoted title expected");
        UiMenu m;
        m.title = t[1].value;
        layout_.menuBars.back().menus.push_back(m);
        return true;
    }

    bool item(const std::vector<Token>& t) {
        if (!inMenuBar_ || layout_.menuBars.back().menus.empty())
            return fail("item outside a menu");
        UiMenuItem it{};
        if (t.size() < 3 || !parseInt(t[1], it.id) || it.id <= 0)
            return fail("item: number expected");
        if (!t[2].quoted || t[2].hasKey) return fail("item: quoted label expected");
        it.label = t[2].value;
        if (!optionsOnce(t, 3, "item")) return false;
        for (size_t i = 3; i < t.size(); i++) {
            if (!t[i].hasKey || t[i].key != "callback") return fail("item: unknown option");
            if (!isName(t[i].value)) return fail("item: bad callback name");
            it.callback = t[i].value;
        }
        for (const UiMenu& m : layout_.menuBars.back().menus) {
            for (const UiMenuItem& other : m.items) {
                if (!other.separator && other.id == it.id) return fail("item: number used twice");
            }
        }
        layout_.menuBars.back().menus.back().items.push_back(it);
        return true;
    }

    bool separator(const std::vector<Token>& t) {
        if (!inMenuBar_ || layout_.menuBars.back().menus.empty())
            return fail("separator outside a menu");
        if (t.size() != 1) return fail("separator takes nothing");
        UiMenuItem it{};
        it.separator = true;
        layout_.menuBars.back().menus.back().items.push_back(it);
        return true;
    }

    bool control(UiControlKind kind, const std::vector<Token>& t) {
        if (!inPanel_) return fail("control outside a panel");
        UiControl c{};
        c.kind = kind;
        c.index = -1;
        if (t.size() < 7) return fail("control: number, label, x, y, width, height expected");
        if (!parseInt(t[1], c.id) || c.id <= 0) return fail("control: bad number");
        if (!t[2].quoted || t[2].hasKey) return fail("control: quoted label expected");
        c.label = t[2].value;
        if (!parseInt(t[3], c.x) || !parseInt(t[4], c.y) || !parseInt(t[5], c.width) ||
            !parseInt(t[6], c.height) || c.x < 0 || c.y < 0 || c.width <= 0 || c.height <= 0)
            return fail("control: bad position or size");
        if (!optionsOnce(t, 7, "control")) return false;
        bool hasValue = false;
        std::string value;
        for (size_t i = 7; i < t.size(); i++) {
            const Token& o = t[i];
            if (!o.hasKey) return fail("control: key=value option expected");
            if (o.key == "callback") {
                if (!isName(o.value)) return fail("control: bad callback name");
                c.callback = o.value;
            } else if (o.key == "items") {
                if (!uis_HoldsList(kind)) return fail("control: items on a control without a list");
                if (!parseItems(o.value, c.items)) return fail("control: bad items");
            } else if (o.key == "value") {
                hasValue = true;
                value = o.value;
            } else if (o.key == "dimmed") {
                int d = 0;
                if (!parseIntText(o.value, d) || (d != 0 && d != 1))
                    return fail("control: dimmed must be 0 or 1");
                c.dimmed = d == 1;
            } else if (o.key == "unsigned") {
                int u = 0;
                if (kind != UI_NUMERIC || !parseIntText(o.value, u) || (u != 0 && u != 1))
                    return fail("control: unsigned=0|1 on a numeric only");
                c.unsignedValue = u == 1;
            } else {
                return fail("control: unknown option '" + o.key + "'");
            }
        }
        if (uis_HoldsList(kind) && !c.items.empty()) c.index = 0;
        if (hasValue && !initialValue(c, value)) return false;
        UiPanel& p = layout_.panels.back();
        for (const UiControl& other : p.controls) {
            if (other.id == c.id) return fail("control: number used twice");
        }
        p.controls.push_back(c);
        return true;
    }

    bool initialValue(UiControl& c, const std::string& value) {
        if (uis_HoldsLines(c.kind)) {
            c.lines = uis_SplitLines(value);
            return true;
        }
        if (uis_HoldsText(c.kind)) {
            c.text = value;
            return true;
        }
        int v = 0;
        if (c.kind == UI_BUTTON || !parseIntText(value, v)) return fail("control: bad value");
        if (uis_HoldsList(c.kind)) {
            for (size_t i = 0; i < c.items.size(); i++) {
                if (c.items[i].value == v) {
                    c.index = static_cast<int>(i);
                    return true;
                }
            }
            return fail("control: value is not one of the items");
        }
        c.intValue = c.kind == UI_LED ? (v != 0) : v;
        return true;
    }

    UiLayout& layout_;
    std::string& error_;
    bool inPanel_ = false;
    bool inMenuBar_ = false;
};

} // namespace

const char* uis_KindName(UiControlKind kind) {
    switch (kind) {
    case UI_BUTTON: return "button";
    case UI_RING: return "ring";
    case UI_TEXTBOX: return "textbox";
    case UI_NUMERIC: return "numeric";
    case UI_STRING: return "string";
    case UI_TEXTMSG: return "textmsg";
    case UI_LED: return "led";
    case UI_LISTBOX: return "listbox";
    case UI_PROGRESS: return "progress";
    }
    return "?";
}

bool uis_ParseLayout(const std::string& text, UiLayout& layout, std::string& error) {
    layout = UiLayout{};
    error.clear();
    Parser parser(layout, error);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::vector<Token> tokens;
    while (std::getline(in, line)) {
        number++;
        std::string why;
        if (!tokenize(line, tokens, why) || !parser.line(tokens)) {
            if (why.empty()) why = error;
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

int uis_ReadLayout(const std::string& path, UiLayout& layout, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return UIE_FILE;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!uis_ParseLayout(text.str(), layout, error)) {
        error = path + ": " + error;
        return UIE_FILE;
    }
    return 0;
}

std::vector<std::string> uis_CallbackNames(const UiLayout& layout) {
    std::vector<std::string> names;
    auto add = [&names](const std::string& name) {
        if (name.empty()) return;
        for (const std::string& n : names) {
            if (n == name) return;
        }
        names.push_back(name);
    };
    for (const UiPanel& p : layout.panels) {
        add(p.closeCallback);
        for (const UiControl& c : p.controls)
            add(c.callback);
    }
    for (const UiMenuBar& m : layout.menuBars) {
        for (const UiMenu& menu : m.menus) {
            for (const UiMenuItem& it : menu.items)
                add(it.callback);
        }
    }
    return names;
}

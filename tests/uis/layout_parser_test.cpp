// Reading layout files: what a good file gives, and that malformed ones are refused.
#include "uis/uis_layout.h"

#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

namespace {

TEST(LayoutParser, ReadsPanelsControlsAndMenus) {
    const std::string text = "# sample\r\n"
                             "panel 4 \"Main \\\"one\\\"\" 300 200 close=onClose\r\n"
                             "  ring 1 \"Port\" 0 0 50 20 callback=onPort items=\"COM1:1|COM 2:2\" "
                             "value=2\r\n"
                             "  textbox 2 \"Path\" 0 30 50 40 value=\"a\\nb\"   # two lines\n"
                             "  led 3 \" Flash \" 0 80 50 20 value=5 dimmed=1\n"
                             "  listbox 4 \"Log\" 0 100 50 20\n"
                             "\n"
                             "menubar 2\n"
                             "  menu \"File\"\n"
                             "    item 7 \"Save\" callback=onSave\n"
                             "    separator\n"
                             "    item 8 \"Later\"\n";
    UiLayout layout;
    std::string error;
    ASSERT_TRUE(uis_ParseLayout(text, layout, error)) << error;
    ASSERT_EQ(layout.panels.size(), 1u);
    const UiPanel& p = layout.panels[0];
    EXPECT_EQ(p.resource, 4);
    EXPECT_EQ(p.title, "Main \"one\"");
    EXPECT_EQ(p.closeCallback, "onClose");
    ASSERT_EQ(p.controls.size(), 4u);
    const UiControl& ring = p.controls[0];
    EXPECT_EQ(ring.kind, UI_RING);
    EXPECT_EQ(ring.callback, "onPort");
    ASSERT_EQ(ring.items.size(), 2u);
    EXPECT_EQ(ring.items[1].label, "COM 2");
    EXPECT_EQ(ring.items[1].value, 2);
    EXPECT_EQ(ring.index, 1);
    EXPECT_EQ(p.controls[1].lines, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(p.controls[2].intValue, 1);
    EXPECT_TRUE(p.controls[2].dimmed);
    EXPECT_EQ(p.controls[2].label, " Flash ");
    EXPECT_EQ(p.controls[3].index, -1);
    ASSERT_EQ(layout.menuBars.size(), 1u);
    ASSERT_EQ(layout.menuBars[0].menus.size(), 1u);
    const auto& items = layout.menuBars[0].menus[0].items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[1].separator);
    EXPECT_EQ(items[2].callback, "");
    EXPECT_EQ(uis_CallbackNames(layout), (std::vector<std::string>{"onClose", "onPort", "onSave"}));
}

// Each refusal names the line and what is wrong with it.
TEST(LayoutParser, RefusesMalformedFilesSayingWhichLineAndWhy) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"button 1 \"x\" 0 0 1 1\n", "line 1: control outside a panel"},
        {"panel 1 \"p\" 10 10\nknob 1 \"x\" 0 0 1 1\n", "line 2: unknown statement 'knob'"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1\n",
         "line 2: control: number, label, x, y, width, height expected"},
        {"panel 1 \"p\" 10 10\nbutton 1 x 0 0 1 1\n", "line 2: control: quoted label expected"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x 0 0 1 1\n", "line 2: unterminated quote"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1 1 oops\n",
         "line 2: control: key=value option expected"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1 1 color=red\n",
         "line 2: control: unknown option 'color'"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1 1 callback=9a\n",
         "line 2: control: bad callback name"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1 1\nbutton 1 \"y\" 0 0 1 1\n",
         "line 3: control: number used twice"},
        {"panel 1 \"p\" 10 10\npanel 1 \"q\" 10 10\n", "line 2: panel: number used twice"},
        {"panel 0 \"p\" 10 10\n", "line 1: panel: bad number"},
        {"panel 1 \"p\" 10 -10\n", "line 1: panel: bad size"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"b\" 0 0 0 1\n", "line 2: control: bad position or size"},
        {"panel 1 \"p\" 10 10\nring 1 \"r\" 0 0 1 1 items=\"a:1|b\"\n",
         "line 2: control: bad items"},
        {"panel 1 \"p\" 10 10\nring 1 \"r\" 0 0 1 1 items=\"a:1\" value=2\n",
         "line 2: control: value is not one of the items"},
        {"panel 1 \"p\" 10 10\nnumeric 1 \"n\" 0 0 1 1 items=\"a:1\"\n",
         "line 2: control: items on a control without a list"},
        {"panel 1 \"p\" 10 10\nnumeric 1 \"n\" 0 0 1 1 value=1x\n", "line 2: control: bad value"},
        {"panel 1 \"p\" 10 10\nnumeric 1 \"n\" 0 0 1 1 value=99999999999\n",
         "line 2: control: bad value"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"b\" 0 0 1 1 value=1\n", "line 2: control: bad value"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"b\" 0 0 1 1 dimmed=2\n",
         "line 2: control: dimmed must be 0 or 1"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"b\"x 0 0 1 1\n", "line 2: text after a quoted value"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"b\\q\" 0 0 1 1\n",
         "line 2: unknown escape in quoted text"},
        {"item 1 \"x\" callback=a\n", "line 1: item outside a menu"},
        {"menubar 1\nitem 1 \"x\"\n", "line 2: item outside a menu"},
        {"menu \"m\"\n", "line 1: menu outside a menubar"},
        {"separator\n", "line 1: separator outside a menu"},
        {"menubar 1\nseparator\n", "line 2: separator outside a menu"},
        {"menubar 1\nmenu \"m\"\npanel 1 \"p\" 10 10\nseparator\n",
         "line 4: separator outside a menu"},
        {"menubar 1\nmenu \"m\"\nseparator x\n", "line 3: separator takes nothing"},
        {"menubar 1\nmenu \"m\"\nitem 1 \"a\"\nitem 1 \"b\"\n", "line 4: item: number used twice"},
        {"menubar 1\nbutton 1 \"b\" 0 0 1 1\n", "line 2: control outside a panel"},
        {"menubar x\n", "line 1: menubar: number expected"},
        {"\"panel\" 1 \"p\" 10 10\n", "line 1: statement expected"},
        {"=x\n", "line 1: '=' without a key"},
        {"panel 1 \"p\" 10 10 close=a close=b\n", "line 1: panel: option 'close' given twice"},
        {"menubar 1\nmenu \"m\"\nitem 1 \"a\" callback=x callback=x\n",
         "line 3: item: option 'callback' given twice"},
        {"panel 1 \"p\" 10 10\nring 1 \"r\" 0 0 1 1 items=\"a:1\" items=\"b:2\"\n",
         "line 2: control: option 'items' given twice"},
        {"panel 1 \"p\" 10\n", "line 1: panel: number, title, width and height expected"},
        {"panel 1 p 10 10\n", "line 1: panel: quoted title expected"},
        {"panel 1 \"p\" 10 10 x=y\n", "line 1: panel: unknown option"},
        {"panel 1 \"p\" 10 10 close=9\n", "line 1: panel: bad callback name"},
        {"panel 1 \"p\" 10 10\nbutton 0 \"x\" 0 0 1 1\n", "line 2: control: bad number"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1 1 unsigned=1\n",
         "line 2: control: unsigned=0|1 on a numeric only"},
        {"panel 1 p\"q\" 10 10\n", "line 1: quote inside a word"},
        {"menubar 1\nmenubar 1\n", "line 2: menubar: number used twice"},
        {"menubar 1\nmenu m\n", "line 2: menu: quoted title expected"},
        {"menubar 1\nmenu \"m\"\nitem x \"a\"\n", "line 3: item: number expected"},
        {"menubar 1\nmenu \"m\"\nitem 1 a\n", "line 3: item: quoted label expected"},
        {"menubar 1\nmenu \"m\"\nitem 1 \"a\" key=x\n", "line 3: item: unknown option"},
        {"menubar 1\nmenu \"m\"\nitem 1 \"a\" callback=9\n", "line 3: item: bad callback name"},
        // Faults behind a statement that is whole without them: the line is refused all the
        // same, not read up to the fault.
        {"menubar 1 x\"y\"\n", "line 1: quote inside a word"},
        {"menubar 1 \"a\\q\"\n", "line 1: unknown escape in quoted text"},
        {"menubar 1 \"abc\n", "line 1: unterminated quote"},
        {"menubar 1 \"a\"b\n", "line 1: text after a quoted value"},
        {"menubar 1 \"a\"\"b\"\n", "line 1: text after a quoted value"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" \"0\" 0 1 1\n",
         "line 2: control: bad position or size"},
        {"panel 1 \"p\" 10 10\nbutton 1 \"x\" 0 0 1 1 callback=\n",
         "line 2: control: bad callback name"},
        {"panel 1 \"p\" 10 10\nring 1 \"r\" 0 0 1 1 items=\"a:x\"\n", "line 2: control: bad items"},
    };
    for (const auto& c : cases) {
        UiLayout layout;
        std::string error;
        EXPECT_FALSE(uis_ParseLayout(c.text, layout, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(LayoutParser, SurvivesArbitraryBytes) {
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const char alphabet[] = "panel button ring item menu menubar \"=:|#\\\n\r\t 0123x-";
        noise += alphabet[x % (sizeof alphabet - 1)];
        if (i % 500 == 0) noise += std::string(1, static_cast<char>(x & 0xFF));
    }
    UiLayout layout;
    std::string error;
    uis_ParseLayout(noise, layout, error); // outcome is irrelevant; it must not crash
    SUCCEED();
}

TEST(LayoutParser, MissingOrMalformedFileIsAFileError) {
    testsupport::TempDir dir;
    UiLayout layout;
    std::string error;
    EXPECT_EQ(uis_ReadLayout(dir.file("none.uir"), layout, error), UIE_FILE);
    EXPECT_EQ(error, "cannot open " + dir.file("none.uir"));
    testsupport::writeBytes(dir.file("bad.uir"), std::string("panel 1 \"p\" 10 10\nknob\n"));
    EXPECT_EQ(uis_ReadLayout(dir.file("bad.uir"), layout, error), UIE_FILE);
    EXPECT_EQ(error, dir.file("bad.uir") + ": line 2: unknown statement 'knob'");
    // A good file read after it leaves no error behind; an empty item list is allowed.
    testsupport::writeBytes(dir.file("good.uir"),
                            std::string("panel 1 \"p\" 10 10\nring 1 \"r\" 0 0 1 1 items=\"\"\n"));
    EXPECT_EQ(uis_ReadLayout(dir.file("good.uir"), layout, error), 0);
    EXPECT_EQ(error, "");
    ASSERT_EQ(layout.panels.size(), 1u);
    EXPECT_TRUE(layout.panels[0].controls[0].items.empty());
}

} // namespace

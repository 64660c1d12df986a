#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "app/input_script.h"
#include "app/scripted_window.h"

namespace q {
namespace {

InputScript parseOk(const std::string& text) {
    InputScript script;
    std::string error;
    EXPECT_TRUE(parseInputScript(text, "walk.txt", &script, &error)) << error;
    return script;
}

std::string parseError(const std::string& text) {
    InputScript script;
    std::string error;
    EXPECT_FALSE(parseInputScript(text, "walk.txt", &script, &error)) << text;
    return error;
}

TEST(AppInputScript, ReadsRepeatsMouseKeysReleasesAndComments) {
    const InputScript script = parseOk(
        "# fall onto the floor\n"
        "\n"
        "30* 0 0\n"
        "  5 -3 w d L   # walk, turning\r\n"
        "0 0 TAB\n"
        "2* 0 0 F ESC\n"
        "1 2");  // no final newline
    ASSERT_EQ(script.lines.size(), 5u);
    EXPECT_EQ(script.lines[0].repeat, 30u);
    EXPECT_EQ(script.lines[1].dx, 5);
    EXPECT_EQ(script.lines[1].dy, -3);
    EXPECT_TRUE(script.lines[1].w && script.lines[1].d && script.lines[1].leftButton);
    EXPECT_FALSE(script.lines[1].s || script.lines[1].a || script.lines[1].f || script.lines[1].releaseTab);
    EXPECT_TRUE(script.lines[2].releaseTab);
    EXPECT_TRUE(script.lines[3].f && script.lines[3].releaseEsc);
    EXPECT_EQ(script.lines[3].repeat, 2u);
    EXPECT_EQ(script.lines[4].dx, 1);
    EXPECT_EQ(script.frameCount(), 35u);
    EXPECT_EQ(parseOk("").lines.size(), 0u);
    EXPECT_EQ(parseOk("# only a comment\n\n   \n").lines.size(), 0u);
}

TEST(AppInputScript, BadLinesNameFileLineAndWhatWasExpected) {
    EXPECT_EQ(parseError("0 0\n\n0 0 Q\n"),
              "walk.txt:3: expected a key (W S A D F SHIFT, L for the left mouse button, TAB P N C M F5 LIGHT or ESC "
              "for a release), not 'Q'");
    EXPECT_EQ(parseError("W\n"), "walk.txt:1: expected the mouse movement 'dx dy' (two whole numbers from -100000 to 100000)");
    EXPECT_NE(parseError("0\n").find("walk.txt:1: expected the mouse movement"), std::string::npos);
    EXPECT_NE(parseError("1.5 0\n").find("walk.txt:1: expected the mouse"), std::string::npos);
    EXPECT_NE(parseError("0 200000\n").find("walk.txt:1: expected the mouse"), std::string::npos);
    EXPECT_NE(parseError("0* 0 0\n").find("walk.txt:1: expected a repeat count"), std::string::npos);
    EXPECT_NE(parseError("1000001* 0 0\n").find("expected a repeat count"), std::string::npos);
    EXPECT_NE(parseError("x* 0 0\n").find("expected a repeat count"), std::string::npos);
    EXPECT_NE(parseError("* 0 0\n").find("expected a repeat count"), std::string::npos);
    EXPECT_NE(parseError("0 0\n" + std::string(2000, ' ') + "0 0\n").find("walk.txt:2: expected a line of at most"),
              std::string::npos);
    EXPECT_NE(parseError(std::string("0 0\0W\n", 6)).find("walk.txt:1:"), std::string::npos);
    // A hostile token is shown cut short and printable.
    const std::string error = parseError("0 0 " + std::string(500, '\x01') + "\n");
    EXPECT_LT(error.size(), 200u);
    EXPECT_EQ(error.find('\x01'), std::string::npos);
}

TEST(AppInputScript, MissingFileAndDirectoryAreReportedNotCrashed) {
    InputScript script;
    std::string error;
    EXPECT_FALSE(loadInputScript("/nonexistent/walk.txt", &script, &error));
    EXPECT_NE(error.find("/nonexistent/walk.txt"), std::string::npos);
    error.clear();
    EXPECT_FALSE(loadInputScript("/", &script, &error));
    EXPECT_FALSE(error.empty());

    const std::string path = ::testing::TempDir() + "app_script_ok.txt";
    std::ofstream(path) << "3* 1 0 W\n";
    ASSERT_TRUE(loadInputScript(path, &script, &error)) << error;
    EXPECT_EQ(script.frameCount(), 3u);
    std::remove(path.c_str());
}

// Drains the events pending before a frame; returns them as a string like "TAB ESC CLOSE".
std::string pendingEvents(Window& window) {
    std::string seen;
    WindowEvent event;
    while (window.pollEvent(&event)) {
        if (!seen.empty()) seen += ' ';
        if (event.type == WindowEvent::Type::Close) seen += "CLOSE";
        else seen += event.key == Key::Tab      ? "TAB"
                     : event.key == Key::Escape ? "ESC"
                     : event.key == Key::P      ? "P"
                     : event.key == Key::N      ? "N"
                     : event.key == Key::C      ? "C"
                     : event.key == Key::M      ? "M"
                     : event.key == Key::F5     ? "F5"
                     : event.key == Key::L      ? "LIGHT"
                                               : "KEY";
    }
    return seen;
}

TEST(AppScriptedWindow, ReleasesComeBeforeTheirFrameAndTheScriptEndClosesTheWindow) {
    ScriptedWindow window(parseOk("2* 4 -1 W L TAB\n0 0 F\n"), nullptr);
    InputState input;

    EXPECT_EQ(pendingEvents(window), "TAB");
    window.readInput(&input);
    EXPECT_EQ(input.mouseState.dx, 4);
    EXPECT_EQ(input.mouseState.dy, -1);
    EXPECT_EQ(input.key(Key::W), kKeyDown);
    EXPECT_EQ(input.mouseState.buttons[0], kKeyDown);
    EXPECT_EQ(input.key(Key::F), 0);

    EXPECT_EQ(pendingEvents(window), "TAB");  // the repeated frame repeats its release
    window.readInput(&input);
    EXPECT_EQ(input.key(Key::W), kKeyDown);

    EXPECT_EQ(pendingEvents(window), "");
    window.readInput(&input);
    EXPECT_EQ(input.key(Key::W), 0);  // released: no longer down
    EXPECT_EQ(input.mouseState.buttons[0], 0);
    EXPECT_EQ(input.key(Key::F), kKeyDown);
    EXPECT_EQ(input.mouseState.dx, 0);

    EXPECT_EQ(pendingEvents(window), "CLOSE");
    EXPECT_EQ(pendingEvents(window), "");  // closed once

    // Every release of a line, ESC last whatever the order written; Shift held;
    // LIGHT releases L while L holds the left button.
    ScriptedWindow switches(parseOk("0 0 esc light f5 m c n p tab shift l\n"), nullptr);
    EXPECT_EQ(pendingEvents(switches), "TAB P N C M F5 LIGHT ESC");
    switches.readInput(&input);
    EXPECT_EQ(input.key(Key::LeftShift), kKeyDown);
    EXPECT_EQ(input.mouseState.buttons[0], kKeyDown);
}

TEST(AppScriptedWindow, DestroyClosesBeforeTheNextFrame) {
    ScriptedWindow window(parseOk("0 0 ESC\n0 0\n0 0\n"), nullptr);
    EXPECT_EQ(pendingEvents(window), "ESC");
    window.destroy();  // what the viewer does on the ESC release
    EXPECT_EQ(pendingEvents(window), "CLOSE");

    HeadlessWindow headless;
    EXPECT_EQ(pendingEvents(headless), "");
    headless.destroy();
    EXPECT_EQ(pendingEvents(headless), "CLOSE");
}

}  // namespace
}  // namespace q

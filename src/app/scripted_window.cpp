#include "app/scripted_window.h"

#include <utility>

namespace q {

bool HeadlessWindow::pollEvent(WindowEvent* event) {
    if (!destroyed_ || closeSent_) return false;
    closeSent_ = true;
    *event = {WindowEvent::Type::Close, 0};
    return true;
}

ScriptedWindow::ScriptedWindow(InputScript script, std::unique_ptr<Window> realWindow)
    : script_(std::move(script)), real_(std::move(realWindow)) {
    armReleases();
}

void ScriptedWindow::armReleases() {
    if (finished()) return;
    tabPending_ = script_.lines[line_].releaseTab;
    escPending_ = script_.lines[line_].releaseEsc;
}

bool ScriptedWindow::pollEvent(WindowEvent* event) {
    if (real_ && real_->pollEvent(event)) return true;
    if (destroyed_ || finished()) {
        if (closeSent_) return false;
        closeSent_ = true;
        *event = {WindowEvent::Type::Close, 0};
        return true;
    }
    if (tabPending_) {
        tabPending_ = false;
        *event = {WindowEvent::Type::KeyUp, DIK_TAB};
        return true;
    }
    if (escPending_) {
        escPending_ = false;
        *event = {WindowEvent::Type::KeyUp, DIK_ESCAPE};
        return true;
    }
    return false;
}

void ScriptedWindow::destroy() {
    destroyed_ = true;
    if (real_) real_->destroy();
}

void ScriptedWindow::readInput(InputState* out) {
    *out = InputState{};
    if (real_) {
        // Keep the real window's queue drained of motion; the script decides.
        InputState ignored;
        real_->readInput(&ignored);
    }
    if (finished()) return;
    const ScriptLine& line = script_.lines[line_];
    out->mouseState.lX = line.dx;
    out->mouseState.lY = line.dy;
    if (line.leftButton) out->mouseState.rgbButtons[0] = kKeyDown;
    if (line.w) out->keyState[DIK_W] = kKeyDown;
    if (line.s) out->keyState[DIK_S] = kKeyDown;
    if (line.a) out->keyState[DIK_A] = kKeyDown;
    if (line.d) out->keyState[DIK_D] = kKeyDown;
    if (line.f) out->keyState[DIK_F] = kKeyDown;

    // A repeated line is the same frame again, releases included.
    if (++usedOfLine_ >= line.repeat) {
        ++line_;
        usedOfLine_ = 0;
    }
    armReleases();
}

}  // namespace q

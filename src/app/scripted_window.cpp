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
    pendingCount_ = 0;
    pendingNext_ = 0;
    if (finished()) return;
    const ScriptLine& line = script_.lines[line_];
    // ESC last: the switches of the same line still act before the window closes.
    const std::pair<bool, uint8_t> releases[] = {
        {line.releaseTab, DIK_TAB},   {line.releasePortals, DIK_P}, {line.releaseFreeFlight, DIK_N},
        {line.releaseWhere, DIK_C},   {line.releasePick, DIK_M},    {line.releaseReload, DIK_F5},
        {line.releaseEsc, DIK_ESCAPE}};
    for (const auto& [released, key] : releases)
        if (released) pending_[pendingCount_++] = key;
}

bool ScriptedWindow::pollEvent(WindowEvent* event) {
    if (real_ && real_->pollEvent(event)) return true;
    if (destroyed_ || finished()) {
        if (closeSent_) return false;
        closeSent_ = true;
        *event = {WindowEvent::Type::Close, 0};
        return true;
    }
    if (pendingNext_ >= pendingCount_) return false;
    *event = {WindowEvent::Type::KeyUp, pending_[pendingNext_++]};
    return true;
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
    if (line.shift) out->keyState[DIK_LSHIFT] = kKeyDown;

    // A repeated line is the same frame again, releases included.
    if (++usedOfLine_ >= line.repeat) {
        ++line_;
        usedOfLine_ = 0;
    }
    armReleases();
}

}  // namespace q

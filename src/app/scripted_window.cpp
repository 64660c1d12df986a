#include "app/scripted_window.h"

#include <utility>

namespace q {

bool HeadlessWindow::pollEvent(WindowEvent* event) {
    if (!destroyed_ || closeSent_) return false;
    closeSent_ = true;
    *event = {WindowEvent::Type::Close, Key::Unknown};
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
    const std::pair<bool, Key> releases[] = {
        {line.releaseTab, Key::Tab},   {line.releasePortals, Key::P}, {line.releaseFreeFlight, Key::N},
        {line.releaseWhere, Key::C},   {line.releasePick, Key::M},    {line.releaseReload, Key::F5},
        {line.releaseLight, Key::L},
        {line.releaseEsc, Key::Escape}};
    static_assert(sizeof releases / sizeof releases[0] <= sizeof pending_ / sizeof pending_[0]);
    for (const auto& [released, key] : releases)
        if (released) pending_[pendingCount_++] = key;
}

bool ScriptedWindow::pollEvent(WindowEvent* event) {
    if (real_ && real_->pollEvent(event)) return true;
    if (destroyed_ || finished()) {
        if (closeSent_) return false;
        closeSent_ = true;
        *event = {WindowEvent::Type::Close, Key::Unknown};
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
    out->mouseState.dx = line.dx;
    out->mouseState.dy = line.dy;
    if (line.leftButton) out->mouseState.buttons[0] = kKeyDown;
    if (line.w) out->key(Key::W) = kKeyDown;
    if (line.s) out->key(Key::S) = kKeyDown;
    if (line.a) out->key(Key::A) = kKeyDown;
    if (line.d) out->key(Key::D) = kKeyDown;
    if (line.f) out->key(Key::F) = kKeyDown;
    if (line.shift) out->key(Key::LeftShift) = kKeyDown;

    // A repeated line is the same frame again, releases included.
    if (++usedOfLine_ >= line.repeat) {
        ++line_;
        usedOfLine_ = 0;
    }
    armReleases();
}

}  // namespace q

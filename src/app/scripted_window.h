#pragma once
// Stand-ins for the main window when the person at the screen is replaced: a
// headless window (no display, no events, no input) and a window that plays an
// input script, optionally over a real window whose close button still works.

#include <memory>

#include "app/input_script.h"
#include "platform/window.h"

namespace q {

// No display: nothing happens until the viewer closes it.
class HeadlessWindow : public Window {
public:
    bool pollEvent(WindowEvent* event) override;
    void destroy() override { destroyed_ = true; }
    void readInput(InputState* out) override { *out = InputState{}; }
    void* nativeHandle() override { return nullptr; }

private:
    bool destroyed_ = false;
    bool closeSent_ = false;
};

// Plays one script line per frame: its key releases arrive as the events pending
// before the frame, its mouse movement and held keys as the frame's input. When
// the script is used up the window closes, which ends the run.
class ScriptedWindow : public Window {
public:
    ScriptedWindow(InputScript script, std::unique_ptr<Window> realWindow);
    bool pollEvent(WindowEvent* event) override;
    void destroy() override;
    void readInput(InputState* out) override;
    void* nativeHandle() override { return real_ ? real_->nativeHandle() : nullptr; }
    // The script plays on while the real window is minimised; full screen is
    // the real window's.
    bool isFullscreen() const override { return real_ && real_->isFullscreen(); }
    void setFullscreen(bool fullscreen) override {
        if (real_) real_->setFullscreen(fullscreen);
    }

    bool finished() const { return line_ >= script_.lines.size(); }

private:
    void armReleases();

    InputScript script_;
    std::unique_ptr<Window> real_;
    size_t line_ = 0;
    uint32_t usedOfLine_ = 0;
    Key pending_[8] = {};  // this line's key releases, in delivery order (one of each kind at most)
    int pendingCount_ = 0;
    int pendingNext_ = 0;
    bool destroyed_ = false;
    bool closeSent_ = false;
};

}  // namespace q

#pragma once

#include "host/Module1.h"
#include "host/Runtime.h"
#include "host/TIMESTMP.h"
#include "menu/C_Menu.h"
#include "picture/C_Disp.h"

namespace zorvane {

// The whole program: its shared variables and the handlers of its three windows.
class Program final : public Events {
  public:
    explicit Program(Runtime& rt)
        : host_(rt, m_, disp_, menu_), disp_(rt, m_, menu_), menu_(rt, m_, disp_, host_) {}

    void TIMESTMP_Form_Load() override { host_.Form_Load(); }
    void TIMESTMP_Form_MouseMove(int button, int shift, float x, float y) override {
        host_.Form_MouseMove(button, shift, x, y);
    }
    void TIMESTMP_Form_Terminate() override { host_.Form_Terminate(); }
    void TIMESTMP_TaskbarCreated() override { host_.TaskbarCreated(); }
    void TIMESTMP_StartedAgain() override { host_.StartedAgain(); }
    void Timer(TimerId id) override {
        if (id == TimerId::TrayRetry)
            host_.TrayRetryTimer();
        else if (id == TimerId::Animation)
            disp_.AnimationTimer();
        else if (id == TimerId::Announce)
            host_.AnnounceTimer();
    }
    bool C_Disp_Form_QueryUnload(int unloadMode) override {
        return disp_.Form_QueryUnload(unloadMode);
    }
    void C_Disp_Vesquin1_MouseEvent(int button, int shift, float x, float y) override {
        disp_.Vesquin1_MouseEvent(button, shift, x, y);
    }
    void C_Menu_Click(MenuItem item) override { menu_.Click(item); }
    void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
        disp_.PictureLoaded(ticket, std::move(load));
    }
    void WorkDone(std::uint64_t ticket) override { disp_.WorkDone(ticket); }

    Module1& shared() { return m_; }

  private:
    Module1 m_;
    TIMESTMP host_;
    C_Disp disp_;
    C_Menu menu_;
};

} // namespace zorvane

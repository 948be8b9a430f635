#pragma once

namespace zorvane {

// Counts the message boxes, dialogs and menus on screen. The command menu does not open
// over one of them: its command would run under a box still waiting for an answer.
class BusyCount {
  public:
    class Scope {
      public:
        explicit Scope(int& depth) : depth_(depth) { ++depth_; }
        ~Scope() { --depth_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        int& depth_;
    };

    bool Busy() const { return depth_ > 0; }
    // Busy until the scope ends.
    [[nodiscard]] Scope Enter() { return Scope(depth_); }

  private:
    int depth_ = 0;
};

} // namespace zorvane

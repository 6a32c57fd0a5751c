#pragma once

// The common base of the component family: no properties of its own, it only makes a
// component a non-copyable object that is always freed through its base.

class TipsCore {
  public:
    virtual ~TipsCore() = default;
    TipsCore(const TipsCore&) = delete;
    TipsCore& operator=(const TipsCore&) = delete;

  protected:
    TipsCore() = default;
};

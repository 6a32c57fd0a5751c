#include "common/view.h"

#include <atomic>

TMsgAnswer FirstButton(TMsgButtons buttons) {
    switch (buttons) {
        case TMsgButtons::OK:
        case TMsgButtons::OKCancel:
            return TMsgAnswer::OK;
        case TMsgButtons::YesNo:
        case TMsgButtons::YesNoCancel:
            return TMsgAnswer::Yes;
        case TMsgButtons::RetryCancel:
            return TMsgAnswer::Retry;
        case TMsgButtons::AbortRetryIgnore:
            return TMsgAnswer::Abort;
    }
    return TMsgAnswer::OK;
}

namespace {

// Without a window nothing is shown; the first button stands for the operator's answer.
class TSilentView : public IOperatorView {
  public:
    TMsgAnswer MessageBox(TMsgKind, const std::string&, const std::string&,
                          TMsgButtons buttons) override {
        return FirstButton(buttons);
    }
};

TSilentView silentView;
std::atomic<IOperatorView*> installedView{nullptr};

}  // namespace

void SetOperatorView(IOperatorView* view) { installedView.store(view); }

IOperatorView& OperatorView() {
    IOperatorView* view = installedView.load();
    return view ? *view : silentView;
}

// Hand-over of the host's controls.
#include <utility>

#include "control/control_state.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"

namespace nimbo {

void Nimbo::SetControls(std::shared_ptr<TreeView> mTV, std::shared_ptr<WebBrowser> mBM) {
  // Both references are taken before the tree is touched, so a bad tree view still leaves the
  // new pair in place, as a host that inspects the state afterwards expects.
  state_->mTV = std::move(mTV);
  state_->mBM = std::move(mBM);
  if (!state_->mTV) throw Error(err::kObjectNotSet);
  state_->mTV->LabelEdit(1);  // manual: a click on a label must not start renaming the node
}

void Nimbo::SetWinSock(std::shared_ptr<Socket> ws) { state_->ws = std::move(ws); }

}  // namespace nimbo

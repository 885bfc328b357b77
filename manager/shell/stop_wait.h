// Waiting for the Core to end after the stop command, with a progress dialog: the window
// keeps answering while a Core that does not end is waited for.
#pragma once

class QWidget;

namespace manager {

class CoreChannel;

// Shows "FTPサーバーの終了を待っています。" until the Core has ended (true). Past the
// channel's stop limit it asks whether to end the Core process this Manager started
// (Yes kills it and waits on; No gives up) or, for a Core it did not start, says that the
// Core does not answer and gives up. The dialog's cancel button gives up too (false).
bool wait_for_core_stop(QWidget* parent, CoreChannel& channel);

}  // namespace manager

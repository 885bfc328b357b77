// The dialog "メッセージ編集": edits one message text (lines separated by CR LF).
#pragma once
#include <optional>
#include <string>

class QWidget;

namespace manager {

// The edited text on OK, none on Cancel.
std::optional<std::string> edit_message(QWidget* parent, const std::string& caption,
                                        const std::string& text);

}  // namespace manager

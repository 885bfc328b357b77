// Qt's own texts (the buttons of message boxes, the standard dialogs) in Japanese, so
// that no "Yes/No/Cancel" stands among the Manager's Japanese captions.
#pragma once

class QCoreApplication;

namespace manager {

// Loads Qt's Japanese translations (qtbase_ja) from the system's Qt translations folder;
// false when they are not installed (Qt's English texts stay).
bool install_qt_translations(QCoreApplication& application);

}  // namespace manager

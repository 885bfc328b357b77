// Page "仮想フォルダ" of the system settings: folders that show inside the served tree but
// live elsewhere on disk ([VirtualDir] Vir%d = where it shows, Dir%d = the real folder).
#pragma once
#include "platform/profile.h"
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

class QTreeWidget;

namespace manager {

struct VirtualFolder {
  std::string virtual_path;  // placement folder + name + "/"
  std::string real_path;     // ends with "/"
};

// The row that choosing real folder real and placement folder place adds: the name is the
// last part of real ("/music" for /data/music/); the file-system root is named "/root".
VirtualFolder make_virtual_folder(const std::string& real, const std::string& place);
std::vector<VirtualFolder> read_virtual_folders(const std::string& ini_file);
// Vir%d and Dir%d for each row in order, then the next Vir%d written empty.
// The keys save_virtual_folders writes.
platform::ProfileSectionChanges virtual_folder_changes(const std::vector<VirtualFolder>& rows);
bool save_virtual_folders(const std::string& ini_file, const std::vector<VirtualFolder>& rows);

class CVirtualFolderPage : public QWidget {
  Q_OBJECT
 public:
  CVirtualFolderPage(std::string ini_file, QWidget* parent = nullptr);
  std::vector<VirtualFolder> rows() const;
  bool save() const;

 private slots:
  void on_add();
  void on_remove();

 private:
  void add_row(const VirtualFolder& row);

  std::string ini_file_;
  QTreeWidget* list_ = nullptr;
};

}  // namespace manager

// Page "制限" of the user settings: connection, time, rate, credit and speed limits.
#pragma once
#include <QWidget>

#include "manager/editors/account_record.h"

class QCheckBox;

namespace manager {

class CIntField;

class CLimitTab : public QWidget {
  Q_OBJECT
 public:
  explicit CLimitTab(const AccountRecord& record, QWidget* parent = nullptr);
  // False (after telling the operator and focusing the field) when a field is not valid.
  bool collect(AccountRecord& record);

 private slots:
  void use_rate_changed(bool checked);
  void use_capacity_changed(bool checked);

 private:
  void build();
  void show_record(const AccountRecord& record);
  bool read_field(CIntField* field, const char* caption, int low, int high, int& out);

  CIntField* max_per_user_;
  CIntField* max_per_ip_;
  CIntField* connect_time_;
  CIntField* idle_time_;
  CIntField* rate_up_;
  CIntField* rate_down_;
  CIntField* credit_;
  CIntField* up_bps_;
  CIntField* down_bps_;
  QCheckBox* use_rate_;
  QCheckBox* save_credit_;
  QCheckBox* use_capacity_;
};

}  // namespace manager

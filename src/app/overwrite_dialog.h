// COverwriteDlg: before a file is replaced, its folder, name, size, times and
// attributes, and the choice to overwrite it, to keep it under a backup name
// first, or to cancel.
#pragma once

#include <QDialog>

#include "app/file_ui.h"

class QButtonGroup;
class QGridLayout;

namespace quillon::app {

class COverwriteDlg : public QDialog {
    Q_OBJECT
  public:
    explicit COverwriteDlg(const OverwriteInfo& info, QWidget* parent = nullptr);

    // The answer once the dialog ended; Cancel until then.
    OverwriteDecision Decision() const { return m_decision; }
    BackupChoice SelectedBackup() const;

    // "上書き", "バックアップファイルをつくって書出" and "ｷｬﾝｾﾙ".
    void Overwrite();
    void Backup();
    void reject() override;

  private:
    void AddValueRows(const OverwriteInfo& info, QGridLayout* grid);
    void Finish(OverwriteAnswer answer);

    OverwriteDecision m_decision;
    QButtonGroup* m_backupChoices = nullptr;
};

}  // namespace quillon::app

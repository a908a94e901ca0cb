#include "app/overwrite_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quillon::app {
namespace {

constexpr int kWidestValue = 560;  // pixels; a longer folder scrolls in its box

QLineEdit* ValueBox(const std::string& text, int id, QWidget* parent) {
    auto* box = new QLineEdit(QString::fromStdString(text), parent);
    box->setObjectName(QString::number(id));
    box->setReadOnly(true);
    box->setCursorPosition(0);
    const int textWidth = box->fontMetrics().horizontalAdvance(box->text()) + 16;
    box->setMinimumWidth(std::clamp(textWidth, 240, kWidestValue));
    return box;
}

QPushButton* AddButton(const QString& text, int id, QBoxLayout* layout, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    layout->addWidget(button);
    return button;
}

}  // namespace

COverwriteDlg::COverwriteDlg(const OverwriteInfo& info, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("すでに同名のファイルがあります！　どうします？"));
    auto* grid = new QGridLayout;
    AddValueRows(info, grid);

    auto* group = new QGroupBox(
        QStringLiteral("バックアップファイルの拡張子   ↓   -- はもとの拡張子と同じ "), this);
    auto* groupLayout = new QHBoxLayout(group);
    m_backupChoices = new QButtonGroup(this);
    const QString extensions[] = {QStringLiteral(".BAK"), QStringLiteral(".$--"),
                                  QStringLiteral(".#--")};
    for (int choice = 0; choice < 3; ++choice) {
        auto* radio = new QRadioButton(extensions[choice], group);
        radio->setObjectName(QString::number(1071 + choice));
        m_backupChoices->addButton(radio, choice);
        groupLayout->addWidget(radio);
    }
    m_backupChoices->button(static_cast<int>(BackupChoice::Bak))->setChecked(true);

    auto* buttons = new QHBoxLayout;
    QPushButton* overwrite = AddButton(QStringLiteral("上書き"), 1, buttons, this);
    QPushButton* backup =
        AddButton(QStringLiteral("バックアップファイルをつくって書出"), 1065, buttons, this);
    QPushButton* cancel = AddButton(QStringLiteral("ｷｬﾝｾﾙ"), 2, buttons, this);
    overwrite->setDefault(true);
    connect(overwrite, &QPushButton::clicked, this, &COverwriteDlg::Overwrite);
    connect(backup, &QPushButton::clicked, this, &COverwriteDlg::Backup);
    connect(cancel, &QPushButton::clicked, this, &COverwriteDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void COverwriteDlg::AddValueRows(const OverwriteInfo& info, QGridLayout* grid) {
    const struct {
        const char* label;
        const std::string& value;
        int id;
    } rows[] = {
        {"パス：", info.m_strFolder, 1064},       {"ファイル：", info.m_strName, 1074},
        {"サイズ：", info.m_strSize, 1066},       {"作成日時：", info.m_strCreated, 1068},
        {"更新日時：", info.m_strModified, 1070}, {"アクセス：", info.m_strAccessed, 1069},
        {"属性：", info.m_strAttrib, 1067},
    };
    int row = 0;
    for (const auto& [label, value, id] : rows) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0, Qt::AlignRight);
        grid->addWidget(ValueBox(value, id, this), row, 1);
        ++row;
    }
}

BackupChoice COverwriteDlg::SelectedBackup() const {
    return static_cast<BackupChoice>(std::max(0, m_backupChoices->checkedId()));
}

void COverwriteDlg::Overwrite() {
    Finish(OverwriteAnswer::Overwrite);
}

void COverwriteDlg::Backup() {
    Finish(OverwriteAnswer::Backup);
}

void COverwriteDlg::reject() {
    m_decision = {OverwriteAnswer::Cancel, SelectedBackup()};
    QDialog::reject();
}

void COverwriteDlg::Finish(OverwriteAnswer answer) {
    m_decision = {answer, SelectedBackup()};
    QDialog::accept();
}

}  // namespace quillon::app

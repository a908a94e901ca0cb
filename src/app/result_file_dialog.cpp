#include "app/result_file_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon::app {
namespace {

constexpr int kTextFilter = 2;
constexpr int kAllFilesFilter = 4;

QRadioButton* AddRadio(QGroupBox* group, QLayout* layout, const QString& text, int id) {
    auto* radio = new QRadioButton(text, group);
    radio->setObjectName(QString::number(id));
    layout->addWidget(radio);
    return radio;
}

}  // namespace

FileDialogRequest CFileOutput::RequestFor(const ResultWriterState& state, DirectoryHistory& history,
                                          const ConfirmPath& confirm) {
    FileDialogRequest request;
    request.openMode = false;
    request.title = std::string(kResultFileTitle);
    request.filter = std::string(kResultFileFilter);
    request.selectedFilter = state.m_nLastFormat;
    request.initialName = "calc.dat";
    request.okCaption = "保存(&S)";
    request.extensionFollowsType = true;
    request.history = &history;
    request.confirm = confirm;
    return request;
}

CFileOutput::CFileOutput(const ResultWriterState& state, DirectoryHistory& history,
                         const ConfirmPath& confirm, QWidget* parent)
    : CFileDialogEx(RequestFor(state, history, confirm), parent, PanelTexts::ResultFile),
      m_state(state) {
    BuildControls();
    ShowState(state);
    resize(kDefaultSize);
}

void CFileOutput::BuildControls() {
    QWidget* panel = PanelLayout()->parentWidget();

    auto* separatorGroup = new QGroupBox(
        QStringLiteral("テキスト形式の場合のセパレータ（エクセルの場合 Tab 推奨）"), panel);
    auto* separatorLayout = new QHBoxLayout(separatorGroup);
    m_separators = new QButtonGroup(this);
    m_separators->addButton(
        AddRadio(separatorGroup, separatorLayout, QStringLiteral("Space"), 1276), kSeparatorSpace);
    m_separators->addButton(
        AddRadio(separatorGroup, separatorLayout, QStringLiteral("Comma (.csv)"), 1277),
        kSeparatorComma);
    m_separators->addButton(
        AddRadio(separatorGroup, separatorLayout, QStringLiteral("Tab (\\t)"), 1278),
        kSeparatorTab);
    m_separators->addButton(
        AddRadio(separatorGroup, separatorLayout, QStringLiteral("直列(//)"), 1281),
        kSeparatorSerial);
    separatorLayout->addStretch();

    m_comment = new QCheckBox(QStringLiteral("コメントを付加（あれば）"), panel);
    m_comment->setObjectName(QStringLiteral("1336"));
    m_header = new QCheckBox(QStringLiteral("カラムヘッダーを付加（あれば）"), panel);
    m_header->setObjectName(QStringLiteral("1337"));

    auto* formatGroup = new QGroupBox(
        QStringLiteral("Zentographデータファイル形式（Zentographはテキスト形式も読める）"), panel);
    auto* formatLayout = new QHBoxLayout(formatGroup);
    m_normal = AddRadio(formatGroup, formatLayout, QStringLiteral("通常"), 1279);
    m_threeD = AddRadio(formatGroup, formatLayout, QStringLiteral("3-D （部品使用）"), 1280);
    formatLayout->addStretch();

    auto* checks = new QHBoxLayout;
    checks->addWidget(m_comment);
    checks->addWidget(m_header);
    checks->addStretch();

    QGridLayout* grid = PanelLayout();
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QStringLiteral("ファイル形式は拡張子で決まります。"), panel), row, 0,
                    1, 4);
    grid->addWidget(separatorGroup, row + 1, 0, 1, 4);
    grid->addLayout(checks, row + 2, 0, 1, 4);
    grid->addWidget(formatGroup, row + 3, 0, 1, 4);
}

void CFileOutput::ShowState(const ResultWriterState& state) {
    if (QAbstractButton* separator = m_separators->button(state.m_nSeparator)) {
        separator->setChecked(true);
    } else {
        m_separators->button(kSeparatorSerial)->setChecked(true);
    }
    (state.m_b3D ? m_threeD : m_normal)->setChecked(true);
    m_comment->setChecked(state.m_bComment);
    m_header->setChecked(state.m_bHeader);
}

void CFileOutput::OnTypeChanged(int filterNumber) {
    const bool text = filterNumber == kTextFilter || filterNumber == kAllFilesFilter;
    for (QAbstractButton* separator : m_separators->buttons()) {
        separator->setEnabled(text);
    }
}

ResultWriterState CFileOutput::ReadState() const {
    ResultWriterState state = m_state;
    const int checked = m_separators->checkedId();
    state.m_nSeparator =
        checked >= kSeparatorSpace && checked <= kSeparatorTab ? checked : kSeparatorSerial;
    state.m_b3D = !m_normal->isChecked();
    state.m_bComment = m_comment->isChecked();
    state.m_bHeader = m_header->isChecked();
    return state;
}

std::optional<ResultFileAnswer> CFileOutput::Answer() const {
    if (result() != QDialog::Accepted || !ChosenPath()) {
        return std::nullopt;
    }
    return ResultFileAnswer{*ChosenPath(), ReadState()};
}

}  // namespace quillon::app

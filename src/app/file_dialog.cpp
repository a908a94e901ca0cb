#include "app/file_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <algorithm>

namespace quillon::app {
namespace {

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList SplitFilterFields(std::string_view filter) {
    QStringList fields = ToQ(filter).split(u'|');
    // "...|*.*||": the fields end at the first empty one.
    const qsizetype end = fields.indexOf(QString());
    if (end >= 0) {
        fields.resize(end);
    }
    return fields;
}

QStringList PatternsOf(const QString& field) {
    QStringList patterns;
    for (const QString& pattern : field.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        patterns << (trimmed == u"*.*" ? QStringLiteral("*") : trimmed);
    }
    return patterns;
}

}  // namespace

std::vector<FileFilter> ParseFileFilter(std::string_view filter) {
    const QStringList fields = SplitFilterFields(filter);
    std::vector<FileFilter> filters;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        filters.push_back({fields[i], PatternsOf(fields[i + 1])});
    }
    return filters;
}

CFileDialogEx::CFileDialogEx(const FileDialogRequest& request, QWidget* parent, PanelTexts texts)
    : QFileDialog(parent), m_request(request), m_filters(ParseFileFilter(request.filter)) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    m_model = findChild<QFileSystemModel*>();
    m_typeCombo = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    BuildPanel(texts);
    ApplyRequest();
    ConnectSignals();
    FillHistoryCombo();
    ShowFolderInPathLabel();
    ShowDetailColumns();
}

void CFileDialogEx::ShowDetailColumns() {
    setViewMode(QFileDialog::Detail);
    resize(kDefaultSize);
    // Name, size, type, date modified: the name takes what the others leave.
    if (auto* tree = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        const QFontMetrics metrics(tree->font());
        QHeaderView* header = tree->header();
        header->resizeSection(1, metrics.horizontalAdvance(QStringLiteral("0000.0 MiB")) + 24);
        header->resizeSection(
            2, metrics.horizontalAdvance(QStringLiteral("plain text document")) + 24);
        header->resizeSection(
            3, metrics.horizontalAdvance(QStringLiteral("31 Dec 2026 23:59:59")) + 24);
        header->resizeSection(0,
                              std::max(220, kDefaultSize.width() - 260 - header->sectionSize(1) -
                                                header->sectionSize(2) - header->sectionSize(3)));
    }
}

void CFileDialogEx::BuildPanel(PanelTexts texts) {
    const bool result = texts == PanelTexts::ResultFile;
    auto* panel = new QWidget(this);
    m_panelLayout = new QGridLayout(panel);
    m_panelLayout->setContentsMargins(0, 6, 0, 0);

    m_pathLabel = new QLabel(panel);
    m_pathLabel->setObjectName(QStringLiteral("1051"));
    m_pathLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long folder must not widen the whole dialog.
    m_pathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_historyCombo = new QComboBox(panel);
    m_historyCombo->setObjectName(QStringLiteral("1061"));
    m_historyCombo->setEditable(true);
    m_historyCombo->setInsertPolicy(QComboBox::NoInsert);
    m_historyCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_historyCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* note = new QPushButton(QStringLiteral("↓メモる"), panel);
    note->setObjectName(QStringLiteral("1062"));
    note->setAutoDefault(false);
    auto* select = new QPushButton(QStringLiteral(" ↑選択 "), panel);
    select->setObjectName(QStringLiteral("1063"));
    select->setAutoDefault(false);
    connect(note, &QPushButton::clicked, this, &CFileDialogEx::NoteFolder);
    connect(select, &QPushButton::clicked, this, &CFileDialogEx::SelectTypedFolder);

    const QString folderText =
        result ? QStringLiteral("選択されているディレクトリー") : QStringLiteral("Current Dir:");
    const QString historyText =
        result ? QStringLiteral("以前アクセスしたディレクトリー") : QStringLiteral("History:");
    m_panelLayout->addWidget(new QLabel(folderText, panel), 0, 0);
    m_panelLayout->addWidget(m_pathLabel, 0, 1, 1, 3);
    m_panelLayout->addWidget(new QLabel(historyText, panel), 1, 0);
    m_panelLayout->addWidget(m_historyCombo, 1, 1);
    m_panelLayout->addWidget(note, 1, 2);
    m_panelLayout->addWidget(select, 1, 3);
    m_panelLayout->setColumnStretch(1, 1);

    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    }
}

void CFileDialogEx::ApplyRequest() {
    setWindowTitle(ToQ(m_request.title));
    if (m_request.openMode) {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFile);
    } else {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        // The program's own confirmation runs in CheckFileName.
        setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    if (!m_request.okCaption.empty()) {
        setLabelText(QFileDialog::Accept, ToQ(m_request.okCaption));
    }
    if (m_request.history != nullptr && !m_request.history->Entries().front().empty()) {
        setDirectory(ToQ(m_request.history->Entries().front()));
    }
    QStringList texts;
    for (const FileFilter& filter : m_filters) {
        texts << filter.text;
    }
    setNameFilters(texts);
    const int number = m_request.selectedFilter;
    if (number >= 1 && number <= static_cast<int>(texts.size())) {
        selectNameFilter(texts[number - 1]);
    }
    ApplyPatternsOfSelectedType();
    if (!m_request.initialName.empty()) {
        selectFile(ToQ(m_request.initialName));
    }
}

void CFileDialogEx::ConnectSignals() {
    if (m_model != nullptr) {
        connect(m_model, &QFileSystemModel::rootPathChanged, this,
                &CFileDialogEx::ShowFolderInPathLabel);
    }
    connect(this, &QFileDialog::directoryEntered, this, &CFileDialogEx::ShowFolderInPathLabel);
    connect(m_historyCombo, &QComboBox::activated, this,
            [this](int index) { OpenFolder(m_historyCombo->itemText(index)); });
    if (m_typeCombo != nullptr) {
        // The type box changes its index before it reports the activation, and
        // the file dialog rewrites the name on the activation: the name is
        // taken while it is still the user's.
        connect(m_typeCombo, &QComboBox::currentIndexChanged, this,
                &CFileDialogEx::RememberTypedName);
        connect(m_typeCombo, &QComboBox::activated, this, &CFileDialogEx::FollowType);
    }
    RememberTypedName();
}

void CFileDialogEx::FillHistoryCombo() {
    m_historyCombo->clear();
    if (m_request.history == nullptr) {
        return;
    }
    const QFontMetrics metrics(m_historyCombo->font());
    int widest = 0;
    for (const std::string& folder : m_request.history->Folders()) {
        const QString text = ToQ(folder);
        m_historyCombo->addItem(text);
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    m_historyCombo->view()->setMinimumWidth(widest + 24);
    m_historyCombo->setCurrentIndex(m_historyCombo->count() > 0 ? 0 : -1);
}

QString CFileDialogEx::ShownFolder() const {
    return ToQ(WithTrailingSlash(directory().absolutePath().toStdString()));
}

void CFileDialogEx::ShowFolderInPathLabel() {
    m_pathLabel->setText(ShownFolder());
}

void CFileDialogEx::ApplyPatternsOfSelectedType() {
    // Qt takes the patterns from the type's text, which knows neither ";"
    // lists nor "*.*" for every file; the filter's own patterns apply instead.
    const int number = SelectedFilterNumber();
    if (m_model != nullptr && number >= 1) {
        m_model->setNameFilters(m_filters[static_cast<std::size_t>(number - 1)].patterns);
    }
}

int CFileDialogEx::SelectedFilterNumber() const {
    const QString selected = selectedNameFilter();
    for (std::size_t i = 0; i < m_filters.size(); ++i) {
        if (m_filters[i].text == selected) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

QLineEdit* CFileDialogEx::FileNameEdit() const {
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void CFileDialogEx::RememberTypedName() {
    if (const QLineEdit* edit = FileNameEdit()) {
        m_nameBeforeTypeChange = edit->text();
    }
}

void CFileDialogEx::FollowType(int index) {
    ApplyPatternsOfSelectedType();
    QLineEdit* edit = FileNameEdit();
    if (edit != nullptr && !m_request.openMode) {
        QString name = m_nameBeforeTypeChange;
        if (m_request.extensionFollowsType && m_typeCombo != nullptr) {
            name = ToQ(
                FileNameForType(name.toStdString(), m_typeCombo->itemText(index).toStdString()));
        }
        edit->setText(name);
    }
    RememberTypedName();
    OnTypeChanged(index + 1);
}

void CFileDialogEx::OnTypeChanged(int /*filterNumber*/) {}

bool CFileDialogEx::OpenFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        QApplication::beep();
        return false;
    }
    setDirectory(info.absoluteFilePath());
    ShowFolderInPathLabel();
    return true;
}

void CFileDialogEx::SelectTypedFolder() {
    OpenFolder(m_historyCombo->currentText());
}

void CFileDialogEx::NoteFolder() {
    if (m_request.history == nullptr) {
        return;
    }
    m_request.history->MoveToFront(m_pathLabel->text().toStdString());
    FillHistoryCombo();
}

QString CFileDialogEx::TypedPath() const {
    const QLineEdit* edit = FileNameEdit();
    const QString name = edit != nullptr ? edit->text().trimmed() : QString();
    if (name.isEmpty()) {
        return {};
    }
    return QDir::cleanPath(directory().absoluteFilePath(name));
}

bool CFileDialogEx::CheckFileName() {
    if (m_request.history != nullptr) {
        m_request.history->MoveToFront(ShownFolder().toStdString());
        FillHistoryCombo();
    }
    const QString path = TypedPath();
    if (path.isEmpty()) {
        return false;
    }
    if (!QFileInfo(path).dir().exists()) {
        QApplication::beep();  // the folder of the name must exist
        return false;
    }
    if (!m_request.openMode && m_request.confirm) {
        return m_request.confirm(path.toStdString());
    }
    return true;
}

void CFileDialogEx::accept() {
    const QString path = TypedPath();
    if (!path.isEmpty() && QFileInfo(path).isDir()) {
        QFileDialog::accept();  // a folder name opens that folder
        return;
    }
    if (!CheckFileName()) {
        return;
    }
    m_chosenPath = path.toStdString();
    QFileDialog::accept();
    if (result() != QDialog::Accepted) {
        m_chosenPath.reset();  // Qt refused it, e.g. a missing file to open
    }
}

}  // namespace quillon::app

#include "app/dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/output_dialog_rules.h"
#include "fit/convergence.h"

namespace quillon::app {
namespace {

const QString kNumberWanted = "数値を入力してください。";
const QString kIntegerWanted = "整数を入力してください。";

QString Number(double value) {
    return QString::number(value, 'g', 15);
}

QLineEdit* NamedEdit(int id, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    return edit;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setObjectName("1");
    buttons->addButton("ｷｬﾝｾﾙ", QDialogButtonBox::RejectRole)->setObjectName("2");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

template <class Button>
Button* NamedButton(int id, const QString& text, QWidget* parent) {
    auto* button = new Button(text, parent);
    button->setObjectName(QString::number(id));
    return button;
}

}  // namespace

bool ParseDoubleField(const QString& text, double& value) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (ok) {
        value = v;
    }
    return ok;
}

bool ParseIntField(const QString& text, int& value) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok) {
        value = v;
    }
    return ok;
}

// ---------------------------------------------------------------------------

CConvergenceDlg::CConvergenceDlg(const ConvergenceSettings& values, QWidget* parent)
    : QDialog(parent), m_values(values) {
    setObjectName("136");
    setWindowTitle("非線形最小二乗法収束条件設定");
    m_nCut = NamedEdit(1349, this);
    m_chiCut = NamedEdit(1350, this);
    m_chisqDofLim = NamedEdit(1351, this);
    m_fER = NamedEdit(1352, this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("繰り返し回数上限  n_cut =", this), 0, 0);
    grid->addWidget(m_nCut, 0, 1);
    grid->addWidget(new QLabel("収束精度          chi_cut =", this), 1, 0);
    grid->addWidget(m_chiCut, 1, 1);
    grid->addWidget(new QLabel("収束判定  ChisqDof_Lim =", this), 2, 0);
    grid->addWidget(m_chisqDofLim, 2, 1);
    grid->addWidget(new QLabel("刻み精度係数   　　f_ER =", this), 3, 0);
    grid->addWidget(m_fER, 3, 1);
    grid->addWidget(new QLabel("ER = 0.0000001 * f_ER", this), 4, 1);
    auto* defaults = NamedButton<QPushButton>(1348, "Default", this);
    connect(defaults, &QPushButton::clicked, this, &CConvergenceDlg::LoadDefaults);
    auto* buttons = OkCancel(this);
    buttons->addButton(defaults, QDialogButtonBox::ResetRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    Fill(values);
}

void CConvergenceDlg::Fill(const ConvergenceSettings& values) {
    m_nCut->setText(QString::number(values.n_cut));
    m_chiCut->setText(Number(values.chi_cut));
    m_chisqDofLim->setText(Number(values.ChisqDof_Lim));
    m_fER->setText(Number(values.f_ER));
}

void CConvergenceDlg::LoadDefaults() {
    Fill(kDefaultConvergence);
}

bool CConvergenceDlg::Refuse(QLineEdit* edit, const QString& message) {
    QMessageBox::warning(this, windowTitle(), message);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool CConvergenceDlg::ReadAndValidate() {
    ConvergenceSettings read = m_values;
    // Each field is read and range-checked before the next one is looked at.
    if (!ParseDoubleField(m_chiCut->text(), read.chi_cut)) {
        return Refuse(m_chiCut, kNumberWanted);
    }
    if (read.chi_cut < kChiCutMin || read.chi_cut > kChiCutMax) {
        return Refuse(
            m_chiCut,
            QString("%1 から %2 までの数値を入力してください。").arg(kChiCutMin).arg(kChiCutMax));
    }
    if (!ParseDoubleField(m_chisqDofLim->text(), read.ChisqDof_Lim)) {
        return Refuse(m_chisqDofLim, kNumberWanted);
    }
    if (read.ChisqDof_Lim < kChisqDofLimMin || read.ChisqDof_Lim > kChisqDofLimMax) {
        return Refuse(m_chisqDofLim, QString("%1 から %2 までの数値を入力してください。")
                                         .arg(kChisqDofLimMin)
                                         .arg(kChisqDofLimMax));
    }
    if (!ParseIntField(m_nCut->text(), read.n_cut)) {
        return Refuse(m_nCut, kIntegerWanted);
    }
    if (read.n_cut < kNCutMin || read.n_cut > kNCutMax) {
        return Refuse(
            m_nCut,
            QString("%1 から %2 までの整数を入力してください。").arg(kNCutMin).arg(kNCutMax));
    }
    if (!ParseDoubleField(m_fER->text(), read.f_ER)) {
        return Refuse(m_fER, kNumberWanted);
    }
    if (read.f_ER < kFErMin || read.f_ER > kFErMax) {
        return Refuse(
            m_fER, QString("%1 から %2 までの数値を入力してください。").arg(kFErMin).arg(kFErMax));
    }
    m_values = read;
    return true;
}

void CConvergenceDlg::accept() {
    if (ReadAndValidate()) {
        QDialog::accept();
    }
}

// ---------------------------------------------------------------------------

CFixParameterDlg::CFixParameterDlg(double degrees, QWidget* parent)
    : QDialog(parent), m_dC(degrees) {
    setObjectName("131");
    setWindowTitle("Kestrel & Dune, Fix a parameter.");
    m_edit = NamedEdit(1003, this);
    m_edit->setText(Number(degrees));
    auto* row = new QHBoxLayout;
    row->addWidget(m_edit);
    row->addWidget(new QLabel("度", this));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("パラメーター C を次の値に固定します。", this));
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
}

void CFixParameterDlg::accept() {
    double value = 0.0;
    if (!ParseDoubleField(m_edit->text(), value)) {
        QMessageBox::warning(this, windowTitle(), kNumberWanted);
        m_edit->setFocus();
        m_edit->selectAll();
        return;
    }
    m_dC = value;
    QDialog::accept();
}

// ---------------------------------------------------------------------------

COutputSettingsDlg::COutputSettingsDlg(const OutputSettings& settings, FitMethod method,
                                       int dataLineCount, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_method(method), m_lineCount(dataLineCount) {
    setObjectName("135");
    setWindowTitle("設定");
    m_enabled = NamedButton<QCheckBox>(1338, "当てはめ結果をファイルに出力する", this);
    m_enabled->setChecked(true);  // the dialog opens when the File box is checked

    QGroupBox* contentsBox = ContentsBox(settings.contents);

    m_paramTable = NamedButton<QCheckBox>(1365, "パラメーターの表を付加する", this);
    if (method != FitMethod::All) {
        m_paramTable->setChecked(settings.paramTable);
    }

    const char* xminText[3] = {"データの下限", "指定％だけ下げる", "数値指定"};
    const char* xmaxText[3] = {"データの上限", "指定％だけ上げる", "数値指定"};
    QGroupBox* xminBox =
        RangeBox({"当てはめ曲線範囲　下限 Xmin", 1355, xminText, 1358, 1359}, settings.xminMode,
                 settings.xminPercent, settings.xminValue, m_xmin, m_xminPercent, m_xminValue);
    QGroupBox* xmaxBox =
        RangeBox({"当てはめ曲線範囲　上限 Xmax", 1360, xmaxText, 1363, 1364}, settings.xmaxMode,
                 settings.xmaxPercent, settings.xmaxValue, m_xmax, m_xmaxPercent, m_xmaxValue);
    QGroupBox* stepBox = StepBox(settings);

    m_runButton = NamedButton<QPushButton>(1354, "実行", this);
    connect(m_runButton, &QPushButton::clicked, this, [this] {
        m_run = true;
        accept();
    });
    auto* buttons = OkCancel(this);
    buttons->addButton(m_runButton, QDialogButtonBox::ActionRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addWidget(contentsBox);
    layout->addWidget(m_paramTable);
    layout->addWidget(xminBox);
    layout->addWidget(xmaxBox);
    layout->addWidget(stepBox);
    layout->addWidget(buttons);

    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             m_enabled, m_contents[0], m_contents[1], m_contents[2], m_xmin[0], m_xmin[1],
             m_xmin[2], m_xmax[0], m_xmax[1], m_xmax[2], m_step[0], m_step[1]}) {
        connect(b, &QAbstractButton::toggled, this, &COutputSettingsDlg::UpdateEnabling);
    }
    UpdateEnabling();
}

QGroupBox* COutputSettingsDlg::ContentsBox(ResultContents contents) {
    auto* box = new QGroupBox(this);
    auto* layout = new QVBoxLayout(box);
    const char* texts[3] = {"モデル関数パラメータのみ", "当てはめ曲線座標値のみ",
                            "パラメータと座標値両方"};
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        m_contents[i] = NamedButton<QRadioButton>(1339 + i, texts[i], box);
        group->addButton(m_contents[i]);
        layout->addWidget(m_contents[i]);
    }
    m_contents[std::clamp(static_cast<int>(contents), 0, 2)]->setChecked(true);
    return box;
}

QGroupBox* COutputSettingsDlg::RangeBox(const RangeBoxIds& ids, CurveEndMode mode, double percent,
                                        double value, QRadioButton** radios,
                                        QLineEdit*& percentEdit, QLineEdit*& valueEdit) {
    auto* box = new QGroupBox(ids.title, this);
    auto* grid = new QGridLayout(box);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        radios[i] = NamedButton<QRadioButton>(ids.firstRadio + i, ids.texts[i], box);
        group->addButton(radios[i]);
        grid->addWidget(radios[i], i, 0);
    }
    radios[std::clamp(static_cast<int>(mode), 0, 2)]->setChecked(true);
    percentEdit = NamedEdit(ids.percentEdit, box);
    percentEdit->setText(Number(percent));
    valueEdit = NamedEdit(ids.valueEdit, box);
    valueEdit->setText(Number(value));
    grid->addWidget(percentEdit, 1, 1);
    grid->addWidget(valueEdit, 2, 1);
    return box;
}

QGroupBox* COutputSettingsDlg::StepBox(const OutputSettings& settings) {
    auto* box = new QGroupBox("当てはめ曲線 刻み", this);
    auto* grid = new QGridLayout(box);
    auto* group = new QButtonGroup(this);
    const char* texts[2] = {"Xmax - Xmin を", "X(1) - X(0)   を"};
    const int maxDivisions[2] = {100000, 10000};
    for (int i = 0; i < 2; ++i) {
        m_step[i] = NamedButton<QRadioButton>(1344 + i, texts[i], box);
        group->addButton(m_step[i]);
        m_divisions[i] = new QSpinBox(box);
        m_divisions[i]->setObjectName(QString::number(1342 + i));
        m_divisions[i]->setRange(1, maxDivisions[i]);
        m_divisions[i]->setValue(
            std::clamp(settings.divisions[static_cast<std::size_t>(i)], 1, maxDivisions[i]));
        grid->addWidget(m_step[i], i, 0);
        grid->addWidget(m_divisions[i], i, 1);
        grid->addWidget(new QLabel("等分", box), i, 2);
    }
    m_step[std::clamp(static_cast<int>(settings.stepMode), 0, 1)]->setChecked(true);
    return box;
}

void COutputSettingsDlg::UpdateEnabling() {
    auto checkedIndex = [](QRadioButton* const* radios, int count) {
        for (int i = 0; i < count; ++i) {
            if (radios[i]->isChecked()) {
                return i;
            }
        }
        return 0;
    };
    const OutputDialogEnabling e = OutputDialogEnabled(
        m_enabled->isChecked(), static_cast<CurveEndMode>(checkedIndex(m_xmin, 3)),
        static_cast<CurveEndMode>(checkedIndex(m_xmax, 3)),
        static_cast<CurveStepMode>(checkedIndex(m_step, 2)), m_method, m_lineCount);
    for (QRadioButton* r : {m_contents[0], m_contents[1], m_contents[2], m_xmin[0], m_xmin[1],
                            m_xmin[2], m_xmax[0], m_xmax[1], m_xmax[2], m_step[0], m_step[1]}) {
        r->setEnabled(e.radios);
    }
    m_xminPercent->setEnabled(e.xminPercent);
    m_xminValue->setEnabled(e.xminValue);
    m_xmaxPercent->setEnabled(e.xmaxPercent);
    m_xmaxValue->setEnabled(e.xmaxValue);
    m_divisions[0]->setEnabled(e.divisionsRange);
    m_divisions[1]->setEnabled(e.divisionsSpacing);
    m_paramTable->setEnabled(e.paramTable);
    m_runButton->setEnabled(e.run);
}

bool COutputSettingsDlg::Store() {
    OutputSettings s = m_settings;
    for (QLineEdit* edit : {m_xminPercent, m_xminValue, m_xmaxPercent, m_xmaxValue}) {
        double unused = 0.0;
        if (!ParseDoubleField(edit->text(), unused)) {
            QMessageBox::warning(this, windowTitle(), kNumberWanted);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    s.enabled = m_enabled->isChecked();
    for (int i = 0; i < 3; ++i) {
        if (m_contents[i]->isChecked())
            s.contents = static_cast<ResultContents>(i);
        if (m_xmin[i]->isChecked())
            s.xminMode = static_cast<CurveEndMode>(i);
        if (m_xmax[i]->isChecked())
            s.xmaxMode = static_cast<CurveEndMode>(i);
    }
    s.stepMode = m_step[1]->isChecked() ? CurveStepMode::Spacing : CurveStepMode::Range;
    // With ALL the table box is disabled and shown unchecked: OK stores false.
    s.paramTable = m_method != FitMethod::All && m_paramTable->isChecked();
    ParseDoubleField(m_xminPercent->text(), s.xminPercent);
    ParseDoubleField(m_xminValue->text(), s.xminValue);
    ParseDoubleField(m_xmaxPercent->text(), s.xmaxPercent);
    ParseDoubleField(m_xmaxValue->text(), s.xmaxValue);
    s.divisions = {m_divisions[0]->value(), m_divisions[1]->value()};
    m_settings = s;
    return true;
}

void COutputSettingsDlg::accept() {
    if (Store()) {
        QDialog::accept();
    } else {
        m_run = false;
    }
}

// ---------------------------------------------------------------------------

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("100");
    setWindowTitle("Quillon_L のバージョン情報");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Quillon_L Version 1.0", this));
    layout->addWidget(new QLabel("最小２乗法によるモデル関数の当てはめ", this));
    layout->addWidget(new QLabel("Copyright (C) QuillonSoft", this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace quillon::app

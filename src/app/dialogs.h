// The modal dialogs of the window. Each edits one plain record, so the rules
// can be checked without clicking.
#pragma once

#include <QDialog>

#include "records/records.h"

class QLineEdit;
class QCheckBox;
class QGroupBox;
class QRadioButton;
class QSpinBox;
class QPushButton;

namespace quillon::app {

// Non-linear least-squares convergence settings.
class CConvergenceDlg : public QDialog {
    Q_OBJECT
  public:
    CConvergenceDlg(const ConvergenceSettings& values, QWidget* parent = nullptr);
    // The values once OK succeeded.
    const ConvergenceSettings& Values() const { return m_values; }
    // Reads and checks the edits in the order chi_cut, ChisqDof_Lim, n_cut,
    // f_ER; on the first bad one shows why, focuses it and returns false.
    bool ReadAndValidate();
    void accept() override;
    void LoadDefaults();

  private:
    void Fill(const ConvergenceSettings& values);
    bool Refuse(QLineEdit* edit, const QString& message);

    ConvergenceSettings m_values;
    QLineEdit* m_nCut;
    QLineEdit* m_chiCut;
    QLineEdit* m_chisqDofLim;
    QLineEdit* m_fER;
};

// The fixed phase C of the Kestrel-Dune models, in degrees (any number).
class CFixParameterDlg : public QDialog {
    Q_OBJECT
  public:
    CFixParameterDlg(double degrees, QWidget* parent = nullptr);
    double Value() const { return m_dC; }
    void accept() override;

  private:
    double m_dC;
    QLineEdit* m_edit;
};

// The output settings; "実行" stores them and asks for a compute.
class COutputSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    COutputSettingsDlg(const OutputSettings& settings, FitMethod method, int dataLineCount,
                       QWidget* parent = nullptr);
    const OutputSettings& Settings() const { return m_settings; }
    bool RunRequested() const { return m_run; }
    void accept() override;
    void UpdateEnabling();

  private:
    // The title, radio texts and control ids of the Xmin or the Xmax group.
    struct RangeBoxIds {
        QString title;
        int firstRadio;
        const char* const* texts;
        int percentEdit;
        int valueEdit;
    };
    // The groups of the dialog; the radio positions are the settings' numbers,
    // and a number outside them checks the nearest radio.
    QGroupBox* ContentsBox(ResultContents contents);
    QGroupBox* RangeBox(const RangeBoxIds& ids, CurveEndMode mode, double percent, double value,
                        QRadioButton** radios, QLineEdit*& percentEdit, QLineEdit*& valueEdit);
    QGroupBox* StepBox(const OutputSettings& settings);
    bool Store();

    OutputSettings m_settings;
    FitMethod m_method;
    int m_lineCount;
    bool m_run = false;
    QCheckBox* m_enabled;
    QRadioButton* m_contents[3];
    QCheckBox* m_paramTable;
    QRadioButton* m_xmin[3];
    QLineEdit* m_xminPercent;
    QLineEdit* m_xminValue;
    QRadioButton* m_xmax[3];
    QLineEdit* m_xmaxPercent;
    QLineEdit* m_xmaxValue;
    QRadioButton* m_step[2];
    QSpinBox* m_divisions[2];
    QPushButton* m_runButton;
};

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// Reads a whole field as a number, in the C locale.
bool ParseDoubleField(const QString& text, double& value);
bool ParseIntField(const QString& text, int& value);

}  // namespace quillon::app

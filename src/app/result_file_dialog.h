// CFileOutput: the save dialog of the result file, the file dialog with the
// writer's separator, comment, header and 3-D choices below it.
#pragma once

#include "app/file_dialog.h"

class QButtonGroup;
class QCheckBox;
class QRadioButton;

namespace quillon::app {

inline constexpr std::string_view kResultFileTitle =
    "計算結果書き出し（Zentographデータ/エクセルテキスト）";
inline constexpr std::string_view kResultFileFilter =
    "Zentograph Data Files(*.dat)|*.dat|Text Files(*.txt)|*.txt|CSV Files(*.csv)|*.csv|"
    "All Files(*.*)|*.*||";

class CFileOutput : public CFileDialogEx {
    Q_OBJECT
  public:
    CFileOutput(const ResultWriterState& state, DirectoryHistory& history,
                const ConfirmPath& confirm, QWidget* parent = nullptr);

    // Taller than the other file dialogs: the writer's choices take a third
    // of the height, and the file list keeps a dozen rows.
    static constexpr QSize kDefaultSize{1040, 800};

    // The writer's state as the controls show it; the last format stays the
    // one the dialog opened with.
    ResultWriterState ReadState() const;
    // The path and the state once the dialog was accepted.
    std::optional<ResultFileAnswer> Answer() const;

  protected:
    void OnTypeChanged(int filterNumber) override;

  private:
    static FileDialogRequest RequestFor(const ResultWriterState& state, DirectoryHistory& history,
                                        const ConfirmPath& confirm);
    void BuildControls();
    void ShowState(const ResultWriterState& state);

    ResultWriterState m_state;
    QButtonGroup* m_separators = nullptr;
    QRadioButton* m_normal = nullptr;
    QRadioButton* m_threeD = nullptr;
    QCheckBox* m_comment = nullptr;
    QCheckBox* m_header = nullptr;
};

}  // namespace quillon::app

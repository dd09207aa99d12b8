#pragma once
// The wizard's dialog wizardbox, and the input box of the wizard's first step.
#include <QDialog>

#include "config/config_window.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kobal::config::qt {

class WizardDialog : public QDialog, public WizardDisplay {
  public:
    explicit WizardDialog(QWidget* parent = nullptr);

    void Load(WizardBox& box) override;
    bool ShowModal(WizardBox& box) override;

  private:
    void OK_Click();
    void Layout();

    WizardBox* box_ = nullptr;
    bool answered_ = false;
    QLabel* picture_;
    QLabel* question_;
    QLineEdit* textbox_;
    QComboBox* combobox_;
    QPushButton* ok_;
};

class QtInputBox : public InputBoxPort {
  public:
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& proposed) override;
};

}  // namespace kobal::config::qt

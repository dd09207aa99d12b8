#pragma once
// The configuration window kobalconfigf: shows the controls of a
// ConfigWindow, passes the button clicks to its handlers, and closes when a
// handler ends the tool.
#include <QCheckBox>
#include <QWidget>

#include "config/config_window.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kobal::config::qt {

// A check box the user only checks and unchecks; the greyed state comes
// from a settings file alone.
class ClickCheckBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    void nextCheckState() override;
};

class ConfigForm : public QWidget {
  public:
    explicit ConfigForm(ConfigWindow& model, QWidget* parent = nullptr);

    // Controls from the model, and the model from the controls.
    void Show();
    void Push();
    void Pull();

  private:
    // Runs a handler on the current entries; a run-time error ends the tool
    // with its message, as every error in this window does.
    void Run(void (ConfigWindow::*handler)());

    ConfigWindow& model_;
    QLineEdit* apath_;
    QComboBox* initial_;
    ClickCheckBox* audio_;
    ClickCheckBox* splash_;
    ClickCheckBox* transp_;
    ClickCheckBox* override_;
    ClickCheckBox* hidefull_;
    QLineEdit* timerup_;
    QLineEdit* moveup_;
    QLineEdit* boreds_;
    QLineEdit* sleeps_;
    QLineEdit* hyber_;
};

}  // namespace kobal::config::qt

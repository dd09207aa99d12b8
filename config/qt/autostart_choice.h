#pragma once
// The "start these actors when I log in" check box of the configuration
// window. It acts at once, apart from "OK": the entry is no setting of
// config.kcfg, and "Cancel" must not leave a half-made choice.
#include <QCheckBox>
#include <QWidget>

#include "config/shell/autostart.h"

namespace kobal::config::qt {

class AutostartChoice : public QCheckBox {
  public:
    // Placed in the window's "Advanced Configuration" group.
    AutostartChoice(QWidget* form, shell::Autostart& autostart);

  protected:
    void nextCheckState() override;

  private:
    void Refresh();
    shell::Autostart& autostart_;
};

}  // namespace kobal::config::qt

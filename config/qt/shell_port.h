#pragma once
// The configuration tool's shell port, carried out by the shell integration
// library.
#include "config/ports.h"
#include "config/shell/module1.h"

namespace kobal::config::qt {

class ShellPort : public ShellIntegration {
  public:
    explicit ShellPort(kobal::shell::ShellIntegration& shell) : shell_(shell) {}
    void RegisterFileAssociations() override { shell_.RegisterFileAssociations(); }
    void CreateStartMenuShortcuts() override { shell_.CreateStartMenuShortcuts(); }
    void AddToStartMenu(const std::string& fileName) override { shell_.AddToStartMenu(fileName); }

  private:
    kobal::shell::ShellIntegration& shell_;
};

}  // namespace kobal::config::qt

#pragma once
// The Install window: black, fixed size, its controls placed in twips.
#include <QWidget>

#include "installer/install_form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kobal::installer::qt {

class InstallWindow : public QWidget, public InstallView {
public:
    InstallWindow();

    std::string Source() override;
    void SetSource(const std::string& text) override;
    std::string Dest() override;
    void SetDest(const std::string& text) override;
    void SetSplashText(const std::string& text) override;
    void SetMsg(const std::string& text) override;
    void LoadSplashPic(const std::string& path) override;
    void LoadSplashTitle(const std::string& path) override;

    QPushButton* command1() const { return command1_; }
    QLineEdit* source() const { return source_; }
    QLineEdit* dest() const { return dest_; }
    QLabel* msg() const { return msg_; }
    QLabel* splashText() const { return splashText_; }

private:
    void Place(QWidget* control, int left, int top, int width, int height);

    QLabel* splashTitle_;
    QLabel* splashPic_;
    QLabel* splashText_;
    QLineEdit* source_;
    QLineEdit* dest_;
    QPushButton* command1_;
    QLabel* msg_;
};

}  // namespace kobal::installer::qt

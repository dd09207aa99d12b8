#pragma once
// The splash window: frameless and black, 6000 x 3000 twips, centred, out of
// the task bar, its background shaped by pure green. It shows the actor's
// picture and name and unloads itself on its timer's first tick.
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include "common/qt/key_color_shaper.h"
#include "launcher/launcher.h"

namespace kobal::launcher::qt {

class SplashWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPureGreen = 255 * 256;
    static constexpr int kShowMilliseconds = 3000;

    SplashWindow();

    // Form_Load: texts and pictures. Raises RuntimeError for a picture that
    // cannot be loaded, before anything is shown.
    void Load(const SplashContent& content);

    QLabel& msg() { return msg_; }
    QLabel& Label3() { return label3_; }
    QLabel& Image1() { return image1_; }
    QLabel& Label1() { return label1_; }
    QTimer& Timer1() { return timer1_; }
    const QPixmap& background() const { return background_; }

  public slots:
    void Timer1_Timer();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Place(QWidget& control, int left, int top, int width, int height);
    void FitMessage();
    QRect Twips(int left, int top, int width, int height) const;

    kobal::qt::KeyColorShaper ft1_{this};
    QTimer timer1_;
    QLabel msg_{this};
    QLabel label3_{this};
    QLabel image1_{this};
    QLabel label1_{this};
    QPixmap background_;
};

}  // namespace kobal::launcher::qt

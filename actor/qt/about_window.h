#pragma once
// The About window `Aboutf`: shaped by pure green, two lists filled once,
// dragged with the left button in fractional twips; "Done" only hides it.
#include <QPointF>
#include <QWidget>

#include "actor/actor_runtime.h"
#include "common/qt/key_color_shaper.h"

class QListWidget;

namespace kobal::actor::qt {

class AboutWindow : public QWidget {
  public:
    AboutWindow(const std::string& installdir, const AboutLists& lists);

    QListWidget* List1() const { return list1_; }
    QListWidget* List2() const { return list2_; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

  private:
    QRect Twips(int left, int top, int width, int height) const;
    double tppx_, tppy_;
    QPixmap background_;
    kobal::qt::KeyColorShaper shaper_;
    QListWidget* list1_;
    QListWidget* list2_;
    QPointF leftTop_;  // twips, kept fractional
    double dragx_ = 0, dragy_ = 0;
};

}  // namespace kobal::actor::qt

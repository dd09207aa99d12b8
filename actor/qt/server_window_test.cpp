// The actor window's own X requests, on the test run's X server: while
// quiet, Qt hears nothing of the window's moves and exposures and gets its
// own event mask back after; the server shows each picture the moment it
// is asked, keeps it for the next time, shows it again after a hide and
// where it comes into view, and makes it again only when its budget is spent.
#include "actor/qt/server_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <map>

#include "actor/qt/x_support.h"

using namespace kobal::actor::qt;

namespace {

xcb_connection_t* X() {
    return XConnection();
}

class ServerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!X()) GTEST_SKIP() << "needs an X server";
        widget.setWindowFlags(Qt::FramelessWindowHint | Qt::Tool | Qt::X11BypassWindowManagerHint);
        widget.setAttribute(Qt::WA_OpaquePaintEvent);
        widget.setAttribute(Qt::WA_NoSystemBackground);
        widget.setGeometry(10, 10, 40, 30);
    }
    void ShowAndSettle() {
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        QApplication::processEvents();
    }
    xcb_window_t Id() { return static_cast<xcb_window_t>(widget.winId()); }
    uint32_t EventMask() {
        XReply r(xcb_get_window_attributes_reply(X(), xcb_get_window_attributes(X(), Id()), nullptr));
        return r ? r->your_event_mask : 0;
    }
    // The colour the server shows at a point of the window, as 0xRRGGBB.
    uint32_t PixelAt(int x, int y) {
        XReply r(xcb_get_image_reply(X(),
                                     xcb_get_image(X(), XCB_IMAGE_FORMAT_Z_PIXMAP, Id(), static_cast<int16_t>(x),
                                                   static_cast<int16_t>(y), 1, 1, ~0u),
                                     nullptr));
        uint32_t pixel = 0xDEAD;
        if (r && xcb_get_image_data_length(r.p) >= 4)
            pixel = *reinterpret_cast<const uint32_t*>(xcb_get_image_data(r.p));
        return pixel & 0xFFFFFF;
    }
    // Shows a picture of one colour, counting how often it had to be made.
    void Show(ServerWindow& server, qint64 picture, QRgb colour, QSize size = {40, 30}) {
        server.ShowPicture(picture, size, -1, [&] {
            ++made[picture];
            QImage image(size, QImage::Format_RGB32);
            image.fill(colour);
            return image;
        });
        server.Flush();
    }

    QWidget widget;
    std::map<qint64, int> made;
};

}  // namespace

TEST_F(ServerWindowTest, QuietWhileOnTheScreenThenQtHearsAgain) {
    ServerWindow server(widget);
    EXPECT_FALSE(server.Quiet()) << "a window not on the screen is Qt's to place";
    ShowAndSettle();
    const uint32_t qtMask = EventMask();
    ASSERT_TRUE(qtMask & XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    ASSERT_TRUE(server.Quiet());
    EXPECT_TRUE(server.quiet());
    EXPECT_FALSE(EventMask() & XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    EXPECT_EQ(bool(EventMask() & XCB_EVENT_MASK_EXPOSURE), !server.drawsPictures());
    // Everything else Qt asked for (keys, buttons, pointer) still comes.
    EXPECT_EQ(EventMask() | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_EXPOSURE,
              qtMask | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_EXPOSURE);

    server.Move(QPoint(123, 45));
    server.Flush();
    XReply g(xcb_get_geometry_reply(X(), xcb_get_geometry(X(), Id()), nullptr));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->x, 123);
    EXPECT_EQ(g->y, 45);

    server.RestoreQtEvents();
    EXPECT_FALSE(server.quiet());
    EXPECT_EQ(EventMask(), qtMask);
    // Qt set its own mask again (as after a click-through change): looked at afresh.
    ASSERT_TRUE(server.Quiet());
    server.Forget();
    EXPECT_FALSE(server.quiet());
    ASSERT_TRUE(server.Quiet());
    EXPECT_FALSE(EventMask() & XCB_EVENT_MASK_STRUCTURE_NOTIFY);
}

TEST_F(ServerWindowTest, EachPictureIsShownAtOnceAndMadeOnce) {
    ShowAndSettle();
    ServerWindow server(widget);
    ASSERT_TRUE(server.Quiet());
    if (!server.drawsPictures()) GTEST_SKIP() << "the server cannot take 32-bit pictures as they are";
    Show(server, 1, qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(5, 5), 0xFF0000u);
    EXPECT_EQ(PixelAt(39, 29), 0xFF0000u);
    Show(server, 2, qRgb(0, 0, 255));
    EXPECT_EQ(PixelAt(5, 5), 0x0000FFu);
    Show(server, 1, qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(5, 5), 0xFF0000u);
    EXPECT_EQ(made, (std::map<qint64, int>{{1, 1}, {2, 1}}));
    // The same picture at another size is another picture.
    Show(server, 1, qRgb(255, 0, 0), {20, 30});
    EXPECT_EQ(made[1], 2);
}

TEST_F(ServerWindowTest, AfterAHideThePictureIsShownAgain) {
    ShowAndSettle();
    ServerWindow server(widget);
    ASSERT_TRUE(server.Quiet());
    if (!server.drawsPictures()) GTEST_SKIP() << "the server cannot take 32-bit pictures as they are";
    Show(server, 1, qRgb(255, 0, 0));
    ASSERT_EQ(PixelAt(5, 5), 0xFF0000u);
    server.DropPicture();
    // Meanwhile Qt drew something else there.
    const uint32_t green = 0x00FF00;
    xcb_change_window_attributes(X(), Id(), XCB_CW_BACK_PIXEL, &green);
    xcb_clear_area(X(), 0, Id(), 0, 0, 0, 0);
    ASSERT_EQ(PixelAt(5, 5), 0x00FF00u);
    Show(server, 1, qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(5, 5), 0xFF0000u);
    EXPECT_EQ(made[1], 1) << "kept on the server while hidden";
}

TEST_F(ServerWindowTest, APartCoveredWhileThePictureChangedShowsTheNewPictureWhenUncovered) {
    ShowAndSettle();
    ServerWindow server(widget);
    ASSERT_TRUE(server.Quiet());
    if (!server.drawsPictures()) GTEST_SKIP() << "the server cannot take 32-bit pictures as they are";
    Show(server, 1, qRgb(255, 0, 0));
    ASSERT_EQ(PixelAt(5, 5), 0xFF0000u);
    // Another program's window over the left half, black.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(X())).data;
    const xcb_window_t cover = xcb_generate_id(X());
    const uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(X(), XCB_COPY_FROM_PARENT, cover, screen->root, 10, 10, 20, 30, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(X(), cover);
    Show(server, 2, qRgb(0, 0, 255));
    EXPECT_EQ(PixelAt(30, 5), 0x0000FFu);
    xcb_destroy_window(X(), cover);
    EXPECT_EQ(PixelAt(5, 5), 0x0000FFu) << "the server painted what came into view with an older picture";
    EXPECT_EQ(PixelAt(19, 29), 0x0000FFu);
}

TEST_F(ServerWindowTest, BeyondItsBudgetOnlyThePictureOnShowIsKept) {
    ShowAndSettle();
    ServerWindow server(widget);
    ASSERT_TRUE(server.Quiet());
    if (!server.drawsPictures()) GTEST_SKIP() << "the server cannot take 32-bit pictures as they are";
    // Four megabytes each: the ninth passes 32.
    const QSize big(1024, 1024);
    for (qint64 p = 1; p <= 9; ++p) Show(server, p, qRgb(0, 0, static_cast<int>(p)), big);
    Show(server, 10, qRgb(0, 0, 10), big);
    Show(server, 9, qRgb(0, 0, 9), big);
    Show(server, 1, qRgb(0, 0, 1), big);
    EXPECT_EQ(made[9], 1) << "the picture on show was dropped";
    EXPECT_EQ(made[10], 1);
    EXPECT_EQ(made[1], 2) << "an older picture was kept beyond the budget";
}

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <fstream>
#include <set>
#include <string>

#include "common/qt/qt_support.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

using namespace kobal;
using namespace kobal::qt;

namespace {

// A 1x1 GIF, written by hand: Qt writes no GIF.
const QByteArray kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
    "D\x01\x00;",
    35);

// A 1x1 PNG, and a 2x2 24-bit BMP: files that reading needs no writer for
// (Qt's image writer loads every image plugin).
const QByteArray kPng = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=");

QByteArray Bmp2x2() {
    QByteArray b("BM", 2);
    auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.append(static_cast<char>(v >> (8 * i)));
    };
    auto u16 = [&b](uint16_t v) { b.append(static_cast<char>(v)).append(static_cast<char>(v >> 8)); };
    u32(54 + 16);
    u32(0);
    u32(54);
    u32(40);
    u32(2);
    u32(2);
    u16(1);
    u16(24);
    u32(0);
    u32(16);
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    // Two rows of two pixels, each row padded to four bytes.
    b.append(QByteArray("\x00\x00\xff\x00\xff\x00\x00\x00\xff\x00\x00\xff\xff\xff\x00\x00", 16));
    return b;
}

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

void Write(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// What Qt makes of the file when it guesses the format from the content.
QImage Guessed(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

// The image format plugins mapped into this process.
std::set<std::string> ImagePlugins() {
    std::set<std::string> found;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (const size_t at = line.find("/imageformats/"); at != std::string::npos) found.insert(line.substr(at + 14));
    return found;
}

}  // namespace

TEST(ReadPicture, BitmapsAndPngNeedNoImagePluginAndAGifOnlyItsOwn) {
    TempDir dir;
    Write(dir / "a.bmp", Bmp2x2());
    Write(dir / "a.png", kPng);
    Write(dir / "a.gif", kGif);
    // Run on its own, as ctest runs it; after another test, plugins may be in already.
    if (!ImagePlugins().empty()) GTEST_SKIP() << "image plugins were loaded before";
    const QImage bmp = ReadPicture(dir / "a.bmp");
    EXPECT_EQ(bmp.size(), QSize(2, 2));
    EXPECT_EQ(bmp.pixel(0, 0), qRgb(0, 0, 255));  // the top row comes last in the file
    EXPECT_EQ(ReadPicture(dir / "a.png").size(), QSize(1, 1));
    EXPECT_EQ(ImagePlugins(), std::set<std::string>());
    EXPECT_EQ(ReadPicture(dir / "a.gif").size(), QSize(1, 1));
    EXPECT_EQ(ImagePlugins(), std::set<std::string>{"libqgif.so"});
}

TEST(ReadPicture, EachFormatReadsAsQtGuessesItWhateverTheFileIsCalled) {
    TempDir dir;
    QImage picture(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) picture.setPixel(x, y, qRgb(40 * x, 80 * y, 200));
    const std::vector<std::pair<std::string, QByteArray>> files = {{"a.bmp", Encoded(picture, "bmp")},
                                                                   {"a.png", Encoded(picture, "png")},
                                                                   {"a.jpg", Encoded(picture, "jpeg")},
                                                                   {"a.ico", Encoded(picture, "ico")},
                                                                   {"a.gif", kGif},
                                                                   // Named for another format than the one inside.
                                                                   {"png.bmp", Encoded(picture, "png")},
                                                                   {"bmp.gif", Encoded(picture, "bmp")}};
    for (const auto& [name, bytes] : files) {
        Write(dir / name, bytes);
        const QImage expected = Guessed(dir / name);
        ASSERT_FALSE(expected.isNull()) << name;
        const QImage read = ReadPicture(dir / name);
        EXPECT_EQ(read.size(), expected.size()) << name;
        EXPECT_EQ(read.format(), expected.format()) << name;
        EXPECT_TRUE(read == expected) << name;
    }
}

TEST(ReadPicture, ABrokenPictureIsNamedWithTheReasonWhateverItsFirstBytesSay) {
    TempDir dir;
    // First bytes of a known format, the rest not; and no known format at all.
    for (const QByteArray& bytes : {QByteArray("BM\x10\x00garbage", 11), QByteArray("GIF89a\x01"),
                                    QByteArray("\x89PNG\r\n\x1a\n", 8), QByteArray("not a picture")}) {
        Write(dir / "bad.bmp", bytes);
        try {
            ReadPicture(dir / "bad.bmp");
            ADD_FAILURE() << "no error for " << bytes.toHex().toStdString();
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
            EXPECT_EQ(e.file(), dir / "bad.bmp");
            EXPECT_FALSE(e.detail().empty());
        }
    }
}

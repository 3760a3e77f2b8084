// The UI tests share one QApplication on Qt's offscreen platform, whatever the display. The
// platform gets two screens: the first as the plain offscreen one, the second large enough for
// the 150 % scale, so a test can move a window from one to the other.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <string>

#include "ui/UiTestUtil.h"

int main(int argc, char** argv) {
    const QString config =
        QDir::tempPath() + QString("/q417-ui-tests-screens-%1.json").arg(::getpid());
    {
        QFile f(config);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(R"({"screens": [
                {"name": "1-small", "x": 0, "y": 0, "width": 800, "height": 800},
                {"name": "2-large", "x": 800, "y": 0, "width": )" +
                    QByteArray::number(q417::ui::test::kLargeScreen.width()) + R"(, "height": )" +
                    QByteArray::number(q417::ui::test::kLargeScreen.height()) + R"(}]})");
        }
    }
    const std::string platform = "offscreen:configfile=" + config.toStdString();
    setenv("QT_QPA_PLATFORM", QFile::exists(config) ? platform.c_str() : "offscreen", 1);
    int code = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        code = RUN_ALL_TESTS();
    }
    QFile::remove(config);
    return code;
}

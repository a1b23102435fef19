// Grabs the console's window on every tab and inner tab, then once more
// connected to an in-process simulator on 127.0.0.1 after a few routes, and
// writes the pictures as PNG files. Run it under xvfb-run (see
// scripts/screenshots.sh); it drives the window only through its widgets.

#include "app/consolestyle.h"
#include "app/ctrlui.h"
#include "sim/simserver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

template<typename T> T *widget(ctrlUi &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found) {
        std::fprintf(stderr, "no widget named %s\n", name);
        std::exit(1);
    }
    return found;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle()
{
    // Let layouts and paint events run before the grab.
    QDeadlineTimer deadline(150);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(ctrlUi &window, const QDir &dir, const QString &name)
{
    settle();
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installConsoleStyle();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;

    // A message box would wait for a click forever; give up instead.
    QTimer::singleShot(60000, &app, [] {
        std::fprintf(stderr, "screenshots: timed out\n");
        std::exit(1);
    });

    ctrlUi window;
    window.show();

    auto *mainTabs = widget<QTabWidget>(window, "gridTabWidget");
    auto *outputTabs = widget<QTabWidget>(window, "tabWidget_2");
    auto *inputTabs = widget<QTabWidget>(window, "tabWidget");
    const char *outputPages[] = {"resolution", "mode", "wall", "picture"};
    const char *inputPages[] = {"resolution", "source", "edid", "picture"};

    bool ok = true;
    mainTabs->setCurrentIndex(0);
    ok &= save(window, dir, QStringLiteral("0-switching"));
    mainTabs->setCurrentIndex(1);
    for (int i = 0; i < outputTabs->count(); ++i) {
        outputTabs->setCurrentIndex(i);
        ok &= save(window, dir, QStringLiteral("1-output-%1").arg(QLatin1String(outputPages[i])));
    }
    outputTabs->setCurrentIndex(0);
    mainTabs->setCurrentIndex(2);
    for (int i = 0; i < inputTabs->count(); ++i) {
        inputTabs->setCurrentIndex(i);
        ok &= save(window, dir, QStringLiteral("2-input-%1").arg(QLatin1String(inputPages[i])));
    }
    inputTabs->setCurrentIndex(2);
    mainTabs->setCurrentIndex(3);
    ok &= save(window, dir, QStringLiteral("3-other"));
    mainTabs->setCurrentIndex(4);
    ok &= save(window, dir, QStringLiteral("4-network"));

    // Connected to a simulated 16 x 16 matrix on loopback, after a few routes.
    SimServer::Options options;
    options.port = 0;
    SimServer sim(options);
    if (!sim.listenTcp()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    mainTabs->setCurrentIndex(0);
    widget<QComboBox>(window, "cBoxCommunicationSet")->setCurrentIndex(1);
    widget<QLineEdit>(window, "lEdtCommunicationIPset")->setText(QStringLiteral("127.0.0.1"));
    widget<QLineEdit>(window, "lEdtCommunicationPort")->setText(QString::number(sim.tcpPort()));
    widget<QPushButton>(window, "pBtnCommunicationConnect")->click();

    auto *inputs = widget<QTableWidget>(window, "tWidgetIn");
    auto *outputs = widget<QTableWidget>(window, "tWidgetOut");
    if (!waitFor([&] { return outputs->rowCount() == 16; })) {
        std::fprintf(stderr, "no device information from the simulator\n");
        return 1;
    }
    const char *devices[] = {"蓝光DVD", "电脑1", "电脑2", "摄像机"};
    for (int row = 0; row < 4; ++row)
        inputs->setItem(row, 1, new QTableWidgetItem(QString::fromUtf8(devices[row])));

    const struct
    {
        int input, output;
    } routes[] = {{1, 1}, {3, 2}, {2, 3}, {4, 4}, {3, 5}};
    for (const auto &route : routes) {
        inputs->setCurrentCell(route.input - 1, 0);
        outputs->setCurrentCell(route.output - 1, 0);
        widget<QPushButton>(window, "pBtnConnect")->click();
        const QString expected = inputs->item(route.input - 1, 0)->text();
        if (!waitFor([&] {
                const QTableWidgetItem *cell = outputs->item(route.output - 1, 2);
                return cell && cell->text().startsWith(expected + QLatin1Char(':'));
            })) {
            std::fprintf(stderr, "route %d -> %d not confirmed\n", route.input, route.output);
            return 1;
        }
    }
    ok &= save(window, dir, QStringLiteral("connected"));
    return ok ? 0 : 1;
}

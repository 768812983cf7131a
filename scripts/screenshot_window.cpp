// Shows the real main window with a few queued rows and typed texts, for
// scripts/screenshot.sh to photograph. Runs until it is closed.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTreeView>
#include <cstdio>

#include "platform/qt_queue_model.h"
#include "platform/qt_settings_store.h"
#include "window/form1.h"
#include "window/misc.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qm::platform::QtSettingsStore settings;
    qm::window::Form1 form(settings, qm::window::ProgramFolder());
    auto* queue = qobject_cast<qm::platform::QueueModel*>(
        form.findChild<QTreeView*>(QStringLiteral("ListView1"))->model());
    queue->append({{"/home/ada/site/index.html", "Done"},
                   {"/home/ada/site/about.html", "Done"},
                   {"/home/ada/site/news/2024-spring.htm", "Queued"},
                   {"/home/ada/site/news/2024-summer.htm", "Queued"},
                   {"/home/ada/site/notes/readme.txt", ""}});
    form.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("© 2023 Ada"));
    form.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("© 2024 Ada"));
    form.findChild<QCheckBox*>(QStringLiteral("Check3"))->setChecked(true);
    form.show();
    return QApplication::exec();
}

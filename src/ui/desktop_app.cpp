#include "ui/desktop_app.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "ui/main_dialog.h"

namespace quor {

int RunDesktopApplication(int argc, char** argv, const StartupOptions& options) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quor Mail Processor"));
  QApplication::setDesktopFileName(QStringLiteral("quor"));

  MainDialog dialog(options);
  // The dialog registers the resources that hold the icon.
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quor.svg")));
  if (!dialog.StartUp()) {
    QMessageBox::critical(nullptr, QApplication::applicationName(),
                          QString::fromStdString(dialog.lifecycle().start_error()));
    return 1;
  }
  dialog.exec();
  return 0;
}

}  // namespace quor

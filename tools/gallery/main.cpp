#include "GalleryForm.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[]) {
  QApplication App(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Pelorin"));

  QCommandLineParser Parser;
  Parser.addHelpOption();
  const QCommandLineOption Screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Save the gallery to <file> and quit."), QStringLiteral("file"));
  Parser.addOption(Screenshot);
  Parser.process(App);

  TGalleryForm Form;
  Form.show();
  Form.activateWindow();
  QApplication::processEvents();
  Form.ShowStates();
  if (Parser.isSet(Screenshot)) {
    QApplication::processEvents();
    const QString File = Parser.value(Screenshot);
    if (!Form.grab().save(File)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(File));
      return 1;
    }
    return 0;
  }
  return App.exec();
}

#include <QApplication>
#include <exception>

#include "FullScreen.h"
#include "Info.h"
#include "List.h"
#include "Main.h"

namespace {

// What a command raises and nobody caught ends here, as an error box.
class TPelorinApplication : public QApplication {
public:
  using QApplication::QApplication;
  bool notify(QObject* Receiver, QEvent* Event) override {
    try {
      return QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
      if (PelorinMain)
        PelorinMain->AppException(E);
      return false;
    }
  }
};

} // namespace

int main(int argc, char* argv[]) {
  TPelorinApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pelorin"));
  auto* Main = new TPelorinMain;
  Main->setAttribute(Qt::WA_DeleteOnClose);
  Main->SetSideForms(new TInfoForm(Main), new TListForm(Main), new TScreenForm(Main));
  QStringList Params = QApplication::arguments();
  Params.removeFirst();
  Main->Start(Params);
  if (!PelorinMain || !Main->isVisible())
    return 0;
  return App.exec();
}

#include <QPrinter>
#include <memory>

#include "Main.h"
#include "Print.h"
#include "Settings.h"
#include "WaitCursor.h"

void TPelorinMain::PrintItemClick() {
  if (ModalLock || !Image)
    return;
  std::unique_ptr<TPrintForm> Form;
  {
    // Reading the printers can take a moment.
    TWaitCursor Wait;
    Form = std::make_unique<TPrintForm>(*Image, FileName, Settings, ApplicationPrinter(), this);
  }
  Form->OnError = [this](const std::exception& E) { AppException(E); };
  Form->exec();
}

#include <QApplication>
#include <QDir>

#include "Cfg.h"
#include "DsVCL.h"
#include "FullScreen.h"
#include "Main.h"
#include "RgbTypes.h"
#include "Settings.h"

void TPelorinMain::ConfigItemClick() {
  // A tool window works on the image and its palette with the settings it
  // was opened with; the background and tiling must not change under it.
  if (ModalLock)
    return;
  const TSettings Before = Settings;
  // Over the window that shows, so that it comes up in front in full screen.
  QWidget* Over = FullScreenShowing() ? static_cast<QWidget*>(ScreenForm) : this;
  TCfgForm* Form = nullptr;
  TCfgForm Dialog(
      Settings, [&Form](TColor& C) { return ChooseColor(Form, C); }, Over);
  Form = &Dialog;
  if (Dialog.exec() != QDialog::Accepted)
    return;
  // Written before anything is applied, so that the choices are kept
  // however applying them ends.
  if (!SaveSettingsNow()) {
    const QString Name = QString::fromStdString(SettingsFileName().string());
    ShowMessageKind(QStringLiteral("The settings could not be written to\n") +
                        (Name.isEmpty() ? QStringLiteral("the settings file") : QDir::toNativeSeparators(Name)),
                    mkWarning);
  }
  ApplyConfiguration(Before);
}

void TPelorinMain::ApplyConfiguration(const TSettings& Before) {
  if (DrawColorGradients != bool(Settings.Gradients)) {
    DrawColorGradients = Settings.Gradients;
    for (QWidget* W : QApplication::topLevelWidgets())
      if (W->isVisible())
        W->update();
  }
  ChooseTiling();
  UpdateCaption();
  ApplyBackground();
  CaptionLaunchItems();
  InstallMouseHandlers();
  // Last: running out of memory while resampling leaves the rest applied.
  if (Settings.FullScreenResample != Before.FullScreenResample && FullScreenShowing()) {
    ScreenForm->update();
    ScreenForm->PrepareScaled();
  }
}

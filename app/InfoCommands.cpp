// The main window's side of the info window: what it is told of the image
// and its file, and the pixel readout of the image view.
#include <QEvent>
#include <QMouseEvent>

#include "DsPaintBox.h"
#include "ImgFormats.h"
#include "Info.h"
#include "Main.h"
#include "Settings.h"

namespace {

// Reads out the pointer over a widget laid above the image view, which
// takes the view's moves while it is up; the events go on unchanged.
class TPointerRelay : public QObject {
public:
  TPointerRelay(QWidget* Over, QWidget* AView, std::function<void(const QPointF*)> AReport)
      : QObject(Over), View(AView), Report(std::move(AReport)) {
    Over->installEventFilter(this);
  }

  bool eventFilter(QObject* Watched, QEvent* E) override {
    if (E->type() == QEvent::MouseMove && View) {
      auto* W = static_cast<QWidget*>(Watched);
      const QPointF At = View->mapFromGlobal(W->mapToGlobal(static_cast<QMouseEvent*>(E)->position()));
      Report(&At);
    } else if (E->type() == QEvent::Leave) {
      Report(nullptr);
    }
    return false;
  }

private:
  QPointer<QWidget> View;
  std::function<void(const QPointF*)> Report;
};

} // namespace

void TPelorinMain::InfoItemClick() {
  if (!InfoForm)
    return;
  if (InfoForm->isVisible())
    InfoForm->hide();
  else
    InfoForm->show();
}

void TPelorinMain::BindInfoForm() {
  if (!InfoForm)
    return;
  InfoForm->OnShown = [this](bool Shown) {
    // The window is also hidden while this one is taken apart.
    if (PelorinMain != this || Closed)
      return;
    SetChecked(QStringLiteral("InfoItem"), Shown);
    if (Shown) {
      UpdateInfo();
      InfoForm->ShowPixel(0, 0, -1, -1);
    }
  };
  InfoForm->OnKeyDown = [this](int Key, Qt::KeyboardModifiers Shift) { Guarded([&] { FormKeyDown(Key, Shift); }); };
  InfoForm->OnMouseWheel = [this](QWheelEvent* E) { FormMouseWheel(E); };
}

void TPelorinMain::KeepFileFacts(const TImageRead& Read, bool Gray) {
  FileFacts = Read.Facts;
  FileFacts.IsGray = Gray;
  FileFormatText = QString::fromStdString(Read.FormatText);
}

void TPelorinMain::KeepBufferFacts() {
  FileFacts = TImageFacts{};
  FileFormatText.clear();
  if (!Image)
    return;
  FileFacts.Width = Image->Width();
  FileFacts.Height = Image->Height();
  FileFacts.PixelFormat = Image->PixelFormat();
  FileFacts.PaletteSize = Image->PaletteSize();
  FileFacts.IsGray = Image->IsGray;
  FileFacts.SourceBits = 8;
  FileFacts.Resolution = Image->Resolution();
}

// The file as a reader finds it, which is what the writer made of the
// image, named as the writer names it.
void TPelorinMain::KeepSavedFileFacts(const QString& Name, const QString& FormatText) {
  try {
    KeepFileFacts(ReadImageHeader(Name.toStdString(), ReadOptionsOf(Settings)), Image && Image->IsGray);
  } catch (const std::exception&) {
    KeepBufferFacts();
    std::error_code Ec;
    FileFacts.FileSize = int64_t(std::filesystem::file_size(Name.toStdString(), Ec));
    FileFacts.FileDate = std::filesystem::last_write_time(Name.toStdString(), Ec);
  }
  FileFormatText = FormatText;
  UpdateInfo();
}

void TPelorinMain::UpdateInfo() {
  if (!InfoForm || !InfoForm->isVisible() || !Image)
    return;
  const TImageFacts& F = FileFacts;
  TInfoFile File;
  const bool FromFile = SourceKind == 1;
  File.TypeText = FromFile ? FileFormatText : FileName;
  if (FromFile) {
    File.FileName = FileName;
    File.FileDate = FileTimeToDateTime(F.FileDate);
    File.FileSize = F.FileSize;
  }
  File.Gray = F.IsGray;
  File.PixelFormat = F.PixelFormat;
  File.Width = F.Width;
  File.Height = F.Height;
  File.BitsPerSample = F.SourceBits;
  File.ColorModel = F.ColorFormat;
  File.Interlaced = F.Interlaced;
  File.Compression = F.Compression;
  File.Orientation = F.Orientation;
  File.OrientationApplied = F.OrientationApplied;
  File.Profile = QString::fromStdString(F.Profile);
  File.ProfileApplied = F.ProfileApplied;
  InfoForm->ShowImageInfo(File, F.Resolution);
  InfoForm->ShowBufferInfo(Image->Width(), Image->Height(), Image->IsGray, Image->PixelFormat(), Image->Resolution());
}

std::optional<QPoint> TPelorinMain::ImagePixelAt(const QPointF& Pos) const {
  if (!Image)
    return std::nullopt;
  return ImgBox->ScaleFor(*Image).PixelAt(Pos);
}

void TPelorinMain::ShowPixelAt(const QPointF* Pos) {
  // Panning moves the image under the pointer; the readout waits for it.
  if (!InfoForm || !InfoForm->isVisible() || (Pos && Dragging))
    return;
  const std::optional<QPoint> P = Pos ? ImagePixelAt(*Pos) : std::nullopt;
  if (!P) {
    InfoForm->ShowPixel(0, 0, -1, -1);
    return;
  }
  if (Image->PaletteSize() > 0) {
    const int32_t Index = int32_t(Image->GetPixelValue(P->x(), P->y()));
    InfoForm->ShowPixel(P->x(), P->y(), Index, Image->GetPaletteColor(Index));
  } else {
    InfoForm->ShowPixel(P->x(), P->y(), -1, Image->GetPixelColor(P->x(), P->y()));
  }
}

void TPelorinMain::RelayPointer(QWidget* Over) {
  if (Over)
    new TPointerRelay(Over, ImgBox, [this](const QPointF* Pos) { ShowPixelAt(Pos); });
}

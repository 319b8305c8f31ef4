#pragma once
#include <QHash>
#include <QPointer>
#include <QString>
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "Commands.h"
#include "DibImage.h"
#include "Host.h"
#include "Messages.h"
#include "OpenFileMessage.h"
#include "PainterSurface.h"
#include "Progressors.h"
#include "Transparency.h"
#include "Undo.h"
#include "XImageRead.h"

class QAction;
class QLocalServer;
class QMenu;
class QScrollBar;
class TBarPopupMenu;
class TColorTblForm;
class TCropForm;
class TDirWatch;
class TDsPaintBox;
class TInfoForm;
class TListForm;
class TLuvCtrlForm;
class TPrefetcher;
class TProgressForm;
class TScreenForm;
class TStdConvertForm;
class TTuneForm;
struct TConvertHost;
struct TSettings;

// Starts a program detached; replaceable so that callers can be observed.
extern std::function<bool(const QString& Program, const QStringList& Arguments)> StartDetached;

// Takes the place of the color dialog when set: answers false for Cancel,
// else true with the chosen color.
extern std::function<bool(TColor& Color)> ChooseColorHook;
// The color dialog over Parent, starting at Color: false for Cancel.
bool ChooseColor(QWidget* Parent, TColor& Color);

// A command-line or shell name as a file-system path.
QString NormalizePath(const QString& Text);

// The zoom step that makes an image of this size fit the screen.
int32_t FitZoom(int32_t Width, int32_t Height, int32_t ScreenWidth, int32_t ScreenHeight);

// The main window: the current image, the popups with every command, the
// side windows and the program's start and end.
class TPelorinMain : public QWidget, public TPelorinHost {
  Q_OBJECT
public:
  explicit TPelorinMain(QWidget* Parent = nullptr);
  ~TPelorinMain() override;

  // The side windows, created by the program entry after the main window.
  void SetSideForms(TInfoForm* AInfo, TListForm* AList, TScreenForm* AScreen);
  // The second half of the start, once every window exists; the parameters
  // are those of the command line without the program.
  void Start(const QStringList& Params);

  TDsPaintBox* ImgBox = nullptr;
  TBarPopupMenu* MainPopup = nullptr;
  TBarPopupMenu* WorkPopup = nullptr;
  QScrollBar* HorzScrollBar = nullptr;
  QScrollBar* VertScrollBar = nullptr;
  TInfoForm* InfoForm = nullptr;
  TListForm* ListForm = nullptr;
  TScreenForm* ScreenForm = nullptr;

  struct TFileDialogState {
    QString InitialDir;
    int FilterIndex = 1;
  };
  TFileDialogState OpenDialog, SaveDialog;

  std::unique_ptr<TDib> Image;
  bool PaintEnabled = false;
  bool Dragging = false;
  bool HasTransparency = false;
  TTransparencyInfo Transparency;
  bool AlphaShown = false;
  bool Edited = false;
  bool ModalLock = false;
  int32_t SourceKind = -1;
  QString FileName;
  QString ProgramDir;
  std::filesystem::file_time_type FileDate{};
  int64_t FileSize = 0;
  QString MetaTitle, MetaAuthor, MetaRights;
  // What the info window tells of the shown file as its reader found it,
  // and its format text; for an image without a file, the image as it came.
  TImageFacts FileFacts;
  QString FileFormatText;

  // Side windows and dialogs ask this of the main window.
  void OpenFile(const QString& Name, bool Reload) override { LoadImage(Name, Reload); }
  bool ToolWindowShowing() const override { return ModalLock; }
  bool OpenAgainEnabled() const override { return RuleEnabled(QStringLiteral("OpenAgainItem")); }
  void SetOpenAgain(bool Enabled) override { SetRule(QStringLiteral("OpenAgainItem"), Enabled); }
  void SetFileCheck(bool Check) override { FileCheck = Check; }
  void FileRenamed(const QString& NewPath) override;
  void MainKeyDown(int Key, Qt::KeyboardModifiers Shift) override { FormKeyDown(Key, Shift); }
  void MainWheel(QWheelEvent* E) override { FormMouseWheel(E); }
  bool FullScreenShown() const override { return FullScreenShowing(); }
  void OpenCommand() override { OpenItemClick(); }
  void ListShown(bool Shown) override;

  // Menu items by their names.
  QAction* Item(const QString& Name) const;
  // What the enabling rules last said of an item; commands not built yet
  // stay disabled whatever the rules say.
  bool RuleEnabled(const QString& Name) const;

  // Commands, run by the rows of the command table.
  void OpenItemClick();
  void OpenAgainItemClick();
  void SaveItemClick();
  // The options dialog of the save filter, where the format has one: false
  // when it was closed without OK, and nothing is to be written.
  bool SaveOptionsAccepted(int FilterIndex);
  void SignItemClick();
  void PrintItemClick();
  void QuitItemClick();
  // Show or hide the side windows.
  void ListItemClick();
  void InfoItemClick();
  // The info window follows the image, its resolution and pixel format, and
  // the file's name; while it is hidden this does nothing, it fills on show.
  void UpdateInfo();
  void KeepFileFacts(const TImageRead& Read, bool Gray);
  void KeepBufferFacts();
  // After saving Name as the shown file: its facts as the file now has them.
  void KeepSavedFileFacts(const QString& Name, const QString& FormatText);
  // The pixel under Pos of the image view in the info window; null clears it.
  void ShowPixelAt(const QPointF* Pos);
  // The image pixel under Pos of the image view; none outside the image.
  std::optional<QPoint> ImagePixelAt(const QPointF& Pos) const;
  // Pointer moves over a widget above the image view (the crop frame) are
  // read out as moves over the view.
  void RelayPointer(QWidget* Over);
  void InvertItemClick();
  void MirrorUpDownItemClick();
  void MirrorLeftRightItemClick();
  void RotateClick(int Tag);
  void ConvRgbItemClick();
  void ConvGrayItemClick();
  void ConvPalItemClick();
  void ResizeItemClick();
  void ColorTblItemClick();
  void CropItemClick();
  void TuneRgbItemClick();
  void TuneHslItemClick();
  void TuneHistoItemClick();
  void FilterItemClick(int Tag);
  // The filter on the whole image as one undo step, with progress.
  void ApplyFilterWithProgress(int32_t FilterNo, int32_t Param, int32_t Strength);
  void WindowFit();
  void UndoEnabledItemClick();
  void UndoItemClick();
  void RedoItemClick();
  void ClpbrdCopyToItemClick();
  void ClpbrdCopyFromItemClick();
  void ClpbrdMoveFromItemClick();
  void ClpbrdClearItemClick();
  // TWAIN: the commands, and the client's hook from the start (when the
  // setting is on) to the end.
  void TwainSourceItemClick();
  void TwainAquireItemClick();
  void TwainStart();
  void TwainEnd();
  // Launching: the sibling browser, the three programs of the settings and
  // the file manager, with the shown file (when it came from a file) or
  // without; the items, and the keys with Ctrl (Which 0 the browser, 1 to 3
  // the programs, 4 the folder).
  void CaptionLaunchItems();
  void LaunchFennick(bool WithFile);
  void LaunchProgram(int Slot, bool WithFile);
  void ExploreFolder(bool WithFile);
  // Tag 0 the browser, 1 to 3 the programs.
  void LaunchItemClick(int Tag);
  void ExplorerItemClick();
  void LaunchWithoutFile(int Which);
  // Help: the files beside the program, and the about window's library.
  void OpenDocFile(const QString& RelativeName);
  void HelpGeneralItemClick();
  void HelpShortcutsItemClick();
  void DocItemClick();
  void AboutItemClick();
  // The configuration dialog; on OK its choices are written to the settings
  // file and take effect at once (Before: the settings as they were).
  void ConfigItemClick();
  void ApplyConfiguration(const TSettings& Before);

  // Watches the shown file's folder; FolderChanged is its callback, run on
  // this thread.
  std::unique_ptr<TDirWatch> DirWatch;
  void FolderChanged();
  // Cleared by a failed rename: the notice it causes asks nothing.
  bool FileCheck = true;
  // Offers to read the shown file again when its time stamp moved; asks
  // later when it cannot ask now.
  void AskToReload();
  bool ReloadQuestionAllowed() const;
  // The file and time stamp last asked about: not asked again.
  QString AskedFile;
  std::filesystem::file_time_type AskedDate{};
  bool InFolderChanged = false;
  bool AskingReload = false;
  bool ReloadRetryPending = false;

  // The undo history of the shown image.
  TUndoHistory UndoStream;
  // No history file could be made for the shown image.
  bool UndoUnavailable = false;
  void TakeSnapshot();
  void ClearUndo();
  void Undo();
  void Redo();
  void ApplyUndoSetting();

  void LoadImage(const QString& Name, bool Reload);
  // Reads the shown file's neighbours in the list ahead, the one in the
  // direction of the last step first; stepping to one takes it unread.
  std::unique_ptr<TPrefetcher> Prefetcher;
  void PrefetchNeighbours();
  // Files LoadImage decoded itself, and those it took read ahead.
  int32_t FilesRead = 0, FilesPrefetched = 0;
  // Mirror 1 up/down, 2 left/right, 0 none; then Angle degrees clockwise.
  void ApplyOrientation(int32_t Mirror, int32_t Angle);
  // The LogLuv brightness window of the shown image, while it is up.
  QPointer<TLuvCtrlForm> LuvForm;
  // The conversion dialog, while it is up.
  QPointer<TStdConvertForm> ConvertForm;
  // Writes Image under Name with the writer of the save dialog's filter
  // index, as the save command does once the name is chosen; asks before
  // replacing a file whose name only the added extension made.
  void SaveImageAs(const QString& Name, int FilterIndex, bool AskToReplace = false);
  void LoadProgress(TProgressStage Stage, int32_t Percent, const TRect& Rect, bool Draw);
  void SaveProgress(TProgressStage Stage, int32_t Percent, const TRect& Rect, bool Draw);

  void ShowSplash();
  // Takes NewImage as the shown image with a fresh history, fits the window
  // to it and names it; the rows may still be coming.
  void PlaceImage(std::unique_ptr<TDib> NewImage, int Source, const QString& Caption);
  // Shows an image made in the program (splash, clipboard) at once.
  void AdoptImage(std::unique_ptr<TDib> NewImage, const QString& Caption);
  void SetFileName(const QString& Name);
  void UpdateCaption();
  void UpdateConvertItems();
  void ApplyTransparency();
  bool RefreshAlpha(bool Force);
  void ApplyBackground();
  // The window backgrounds take the background color setting; false when
  // they had it already.
  bool ApplyBrushes();
  void BeginModal() override;
  void EndModal() override;
  void MainPopupPopup();
  void WorkPopupPopup();
  void ShowPopup(Qt::KeyboardModifiers Shift, const QPoint& ScreenPos);

  // The open-file message (WM_OPENFILE) with its file name.
  void WndProc(uint32_t Msg, const QString& Param);
  void DropFiles(const QStringList& Names);
  // The application's exception handler.
  void AppException(const std::exception& E);
  // Runs a command; what it raises goes to the exception handler.
  void Guarded(const std::function<void()>& Command);

  // The view.
  bool FullScreenShowing() const;
  // Toggles full screen.
  void FullScreen();
  // The side window that has the focus: 0 none, 1 the file list, 2 the info window.
  int ActiveSideWindow() const;
  void ChooseTiling();
  void CheckZoomItem(int32_t Z);
  void FormResize();
  void Redraw() override;
  void SetScrollRanges(int W, int H);
  // The scroll bars for the zoomed size of the image; the caller places the box.
  void ResetScrollRanges();
  int ClientWidth() const;
  int ClientHeight() const;
  void SetZoom(int32_t Z);
  void ScrollBy(int Dx, int Dy);

  // Input.
  void FormKeyDown(int Key, Qt::KeyboardModifiers Shift);
  // Runs the command of a menu item, as the menu would: only when the item
  // and the submenus holding it are enabled and visible.
  bool TriggerItem(const QString& Name);
  void CycleFocus();
  void ChooseBackground();
  void InstallMouseHandlers();
  void MouseBrowse(QMouseEvent* E);
  void FormMouseWheel(QWheelEvent* E);

  // The color table dialog is showing (its alpha is being edited).
  bool ColorTblShowing = false;
  // The tool windows, while they are up.
  QPointer<TColorTblForm> ColorTblForm;
  QPointer<TCropForm> CropForm;
  // The keys of the crop frame while the crop dialog shows; true when the
  // key was taken.
  bool CropKeyDown(int Key, Qt::KeyboardModifiers Shift);
  // A left click on the image while the color table shows selects the
  // entry of the pixel under the pointer (Pos in the image view).
  void PickColorEntry(const QPointF& Pos);
  // The entry under the pointer marked in the color table; none for null.
  void MarkColorEntry(const QPointF* Pos);
  // The palette index of the pixel at Pos in the image view, -1 outside.
  int32_t PaletteIndexAt(const QPointF& Pos) const;

protected:
  bool event(QEvent* E) override;
  void wheelEvent(QWheelEvent* E) override;
  void closeEvent(QCloseEvent* E) override;
  void resizeEvent(QResizeEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dropEvent(QDropEvent* E) override;

private:
  void BuildMenus();
  void AddRows(QMenu* Menu, std::span<const TCommandRow> Rows, bool Twins);
  QAction* AddItem(QMenu* Menu, const TCommandRow& Row, bool Twin);
  QMenu* AddSubmenu(QMenu* Menu, const TCommandRow& Row, bool Twin);
  void Register(const TCommandRow& Row, bool Twin, QAction* A);
  void SetRule(const QString& Name, bool Enabled);
  // Every enabling rule; Now is the item's present state.
  bool Allows(TCommandRule Rule, bool Now) const;
  // Applies the rules Which to every item that follows one of them.
  void UpdateItems(std::initializer_list<TCommandRule> Which);
  // Checks the item and its workbench twin.
  void SetChecked(const QString& Name, bool Checked);
  // The edit commands: the image changes with a snapshot taken first.
  void EditImage(const std::function<void()>& Operation);
  // Runs Change, which gives the image another size, and fits the view to it.
  void ReshapeImage(const std::function<void()>& Change);
  // Shows a tuning dialog and applies it with one undo step when accepted.
  void RunTuneForm(TTuneForm& Form);
  // What a conversion dialog may do to the shown image.
  TConvertHost ConvertHost();
  // Shows Buffer in place of the image at the same zoom; answers the image.
  std::unique_ptr<TDib> ExchangeImage(std::unique_ptr<TDib> Buffer);
  bool ConvertAllowed() const;
  void ShowConvertForm(TStdConvertForm* Form);
  void ImgBoxPaint(QPainter& Painter, const QRect& Rect);
  void ImgBoxMouseDown(QMouseEvent* E);
  void ImgBoxMouseMove(QMouseEvent* E);
  void ImgBoxMouseUp(QMouseEvent* E);
  void FormMouseDown(QMouseEvent* E);
  void DrawImage(const QRect& Rect);
  void WaitUntilExposed();
  void StartOpenFileServer();
  void FormClose();
  bool FilterAllowed() const;
  void NewImageShown();
  // Points the full-screen window's callbacks at this window.
  void BindScreenForm();
  void BindInfoForm();
  void StepHistory(const std::function<std::optional<TUndoState>()>& Step);
  void RestoreSnapshot(TUndoState State);
  void UpdateUndoItems();
  void UpdateClipboardItems();
  bool PasteFromClipboard();

  QHash<QString, QAction*> Items;
  QHash<QString, bool> Rules;
  QHash<QString, QString> Twins;
  std::vector<std::pair<QString, TCommandRule>> Ruled;
  TPainterSurface Surface;
  QLocalServer* OpenFileServer = nullptr;
  bool ListHiddenByModal = false;
  bool DrawNow = false;
  bool Closed = false;
  bool FirstPaintReported = false;
  bool Loading = false;
  std::unique_ptr<TProgressForm> ProgressForm;
  int HorzRange = 0, VertRange = 0;
  QWidget* ScrollCorner = nullptr;
  QPoint DragStart;
  bool BrowseByMouse = false;
  int WheelRest = 0;
};

extern TPelorinMain* PelorinMain;

#pragma once
#include <QString>

#include "FileList.h"
#include "Host.h"
#include "Quenna.h"

// The file list window: the image files of the shown file's folder, which
// entry is the shown file, and stepping through them.
class TListForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TListForm(QWidget* Parent = nullptr);

  // The window whose files the list steps through.
  void SetHost(TPelorinHost* AHost) { Host = AHost; }

  // Lists the folder of FileName unless it is the listed one (or Force), and
  // makes the entry of its file current. An empty name empties the list.
  void RefreshList(const QString& FileName, bool Force);
  void SelectIndex(int32_t I);
  void NextFile();
  void PreviousFile();
  void FirstFile();
  void LastFile();
  // The list's selection event: entry I became selected.
  void ListViewSelectItem(int32_t I);

  TFileList Files;
  // The listed folder with its trailing separator; empty when there is none.
  QString ListFolder;
  int32_t CurrentItem = -1;
  int32_t ItemCount = 0;
  bool ListReady = false;
  QString StatusText;

private:
  void UpdateStatus();

  TPelorinHost* Host = nullptr;
};

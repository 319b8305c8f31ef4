#pragma once
#include <QString>
#include <cstdint>
#include <vector>

// One image file of the listed folder.
struct TFileEntry {
  QString Name;
  int32_t Format = 0;
  int64_t Size = 0;
  // Last change, in milliseconds since the epoch: compared as a number, and
  // turned into local time only for the rows that are drawn.
  int64_t Time = 0;
  // Loading it raised an error; kept until the folder is listed again.
  bool Failed = false;
  bool Checked = false;

  QString Caption() const { return Failed ? Name + QStringLiteral(" [!]") : Name; }
};

// Sort columns of the list.
enum TListColumn : int32_t { lcName = 0, lcType = 1, lcSize = 2, lcDate = 3 };

// The ordered image files of one folder and the stepping rules over them,
// apart from any window so that the order can be checked on its own.
class TFileList {
public:
  // Every file of Folder whose extension the format registry knows (hidden
  // ones too; folders never), in the order Sort gives.
  void Build(const QString& Folder, int32_t Column = lcName, bool Descending = false);
  void Clear() { Entries.clear(); }
  // Ties keep name order, in either direction.
  void Sort(int32_t Column, bool Descending);

  int32_t Count() const { return int32_t(Entries.size()); }
  const TFileEntry& operator[](int32_t I) const { return Entries[size_t(I)]; }
  TFileEntry& operator[](int32_t I) { return Entries[size_t(I)]; }

  // The entry of the file name Name, or -1.
  int32_t Find(const QString& Name) const;

  // The entry to select from Current, passing over failed entries; -1 when
  // there is nothing to select (no current entry, or at the end).
  int32_t NextIndex(int32_t Current) const;
  int32_t PreviousIndex(int32_t Current) const;
  int32_t FirstIndex(int32_t Current) const;
  int32_t LastIndex(int32_t Current) const;

private:
  bool Valid(int32_t I) const { return I >= 0 && I < Count(); }
  std::vector<TFileEntry> Entries;
};

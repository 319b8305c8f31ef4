#include "FileList.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <array>

#include "XImg.h"

void TFileList::Build(const QString& Folder, int32_t Column, bool Descending) {
  Entries.clear();
  // One pass over the folder, each file stat'ed once, and only the known
  // ones asked for size and time.
  QDirIterator It(Folder, QDir::Files | QDir::Hidden | QDir::System);
  while (It.hasNext()) {
    It.next();
    const QString Name = It.fileName();
    const int32_t Format = FormatOfFile(QFile::encodeName(Name).toStdString());
    if (Format == fmtUnknown)
      continue;
    const QFileInfo F = It.fileInfo();
    Entries.push_back({Name, Format, F.size(), F.lastModified().toMSecsSinceEpoch(), false, false});
  }
  Sort(Column, Descending);
}

void TFileList::Sort(int32_t Column, bool Descending) {
  auto ByName = [](const TFileEntry& A, const TFileEntry& B) {
    const int C = QString::localeAwareCompare(A.Name, B.Name);
    return C != 0 ? C < 0 : A.Name < B.Name;
  };
  std::sort(Entries.begin(), Entries.end(), ByName);
  // The type texts are few: ranked once, the sort compares numbers instead of
  // converting and collating two texts per comparison.
  std::array<int, FormatCount + 1> TypeRank{};
  if (Column == lcType) {
    std::array<QString, FormatCount + 1> Texts;
    for (int32_t F = 0; F <= FormatCount; ++F)
      Texts[size_t(F)] = QString::fromStdString(FormatText(F));
    for (const QString& T : Texts)
      for (size_t F = 0; F < Texts.size(); ++F)
        TypeRank[F] += QString::localeAwareCompare(T, Texts[F]) < 0 ? 1 : 0;
  }
  auto RankOf = [&](int32_t Format) {
    return TypeRank[size_t(Format >= 0 && Format < FormatCount ? Format : FormatCount)];
  };
  auto Compare = [&](const TFileEntry& A, const TFileEntry& B) -> int {
    switch (Column) {
    case lcType: return RankOf(A.Format) - RankOf(B.Format);
    case lcSize: return A.Size < B.Size ? -1 : A.Size > B.Size ? 1 : 0;
    case lcDate: return A.Time < B.Time ? -1 : A.Time > B.Time ? 1 : 0;
    default: return 0;
    }
  };
  if (Column == lcName) {
    if (Descending)
      std::reverse(Entries.begin(), Entries.end());
    return;
  }
  std::stable_sort(Entries.begin(), Entries.end(), [&](const TFileEntry& A, const TFileEntry& B) {
    const int C = Compare(A, B);
    return Descending ? C > 0 : C < 0;
  });
}

int32_t TFileList::Find(const QString& Name) const {
  // Exact names: on a case-sensitive file system "A.bmp" and "a.bmp" are two
  // files, and "a.bmp" must not find "a.bmp.bmp".
  for (int32_t I = 0; I < Count(); ++I)
    if (Entries[size_t(I)].Name == Name)
      return I;
  return -1;
}

int32_t TFileList::NextIndex(int32_t Current) const {
  if (!Valid(Current))
    return -1;
  int32_t I = Current + 1;
  while (I < Count() - 1 && Entries[size_t(I)].Failed)
    ++I;
  return Valid(I) && !Entries[size_t(I)].Failed ? I : -1;
}

int32_t TFileList::PreviousIndex(int32_t Current) const {
  if (!Valid(Current))
    return -1;
  int32_t I = Current - 1;
  while (I > 0 && Entries[size_t(I)].Failed)
    --I;
  return Valid(I) && !Entries[size_t(I)].Failed ? I : -1;
}

int32_t TFileList::FirstIndex(int32_t Current) const {
  if (!Valid(Current))
    return -1;
  int32_t I = 0;
  while (Entries[size_t(I)].Failed && I < Current)
    ++I;
  return I != Current ? I : -1;
}

int32_t TFileList::LastIndex(int32_t Current) const {
  if (!Valid(Current))
    return -1;
  int32_t I = Count() - 1;
  while (Entries[size_t(I)].Failed && I > Current)
    --I;
  return I != Current ? I : -1;
}

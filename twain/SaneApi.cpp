#include "SaneApi.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace {

template <class F>
bool Resolve(void* Library, const char* Name, F& Fn) {
  Fn = reinterpret_cast<F>(dlsym(Library, Name));
  return Fn != nullptr;
}

} // namespace

TSane& Sane() {
  static TSane Instance;
  return Instance;
}

bool TSane::Load() {
  if (Library)
    return true;
  Library = dlopen("libsane.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!Library)
    return false;
  const bool All = Resolve(Library, "sane_init", init) && Resolve(Library, "sane_exit", exit) &&
                   Resolve(Library, "sane_get_devices", get_devices) && Resolve(Library, "sane_open", open) &&
                   Resolve(Library, "sane_close", close) &&
                   Resolve(Library, "sane_get_option_descriptor", get_option_descriptor) &&
                   Resolve(Library, "sane_control_option", control_option) &&
                   Resolve(Library, "sane_get_parameters", get_parameters) && Resolve(Library, "sane_start", start) &&
                   Resolve(Library, "sane_read", read) && Resolve(Library, "sane_cancel", cancel) &&
                   Resolve(Library, "sane_strstatus", strstatus);
  SANE_Int Version = 0;
  // Major version 1 is the interface these records describe.
  if (!All || init(&Version, nullptr) != SANE_STATUS_GOOD) {
    dlclose(Library);
    *this = TSane();
    return false;
  }
  if ((Version >> 24) != 1) {
    exit();
    dlclose(Library);
    *this = TSane();
    return false;
  }
  return true;
}

void TSane::Unload() {
  if (!Library)
    return;
  exit();
  dlclose(Library);
  *this = TSane();
}

std::vector<TSaneDevice> TSane::Devices() {
  std::vector<TSaneDevice> Out;
  const SANE_Device** List = nullptr;
  if (!Library || get_devices(&List, 0) != SANE_STATUS_GOOD || !List)
    return Out;
  auto Str = [](const char* S) { return std::string(S ? S : ""); };
  for (; *List; ++List)
    if ((*List)->name && *(*List)->name)
      Out.push_back({Str((*List)->name), Str((*List)->vendor), Str((*List)->model)});
  return Out;
}

std::string TSane::StatusText(SANE_Status S) const {
  const char* T = Library ? strstatus(S) : nullptr;
  return T ? T : "Unknown SANE status " + std::to_string(S);
}

bool TSaneOption::Usable() const {
  return Desc && (Desc->cap & SANE_CAP_SOFT_SELECT) && !(Desc->cap & SANE_CAP_INACTIVE);
}

double TSaneOption::Number(SANE_Handle H) const {
  SANE_Word W = 0;
  if (!Desc || Desc->size < SANE_Int(sizeof W) || (Desc->type != SANE_TYPE_INT && Desc->type != SANE_TYPE_FIXED))
    return 0;
  // Options with more than one word (per-channel values) give their first.
  std::vector<SANE_Word> Words(size_t(Desc->size) / sizeof(SANE_Word) + 1);
  if (Sane().control_option(H, Index, SANE_ACTION_GET_VALUE, Words.data(), nullptr) != SANE_STATUS_GOOD)
    return 0;
  W = Words[0];
  return Desc->type == SANE_TYPE_FIXED ? SaneUnfix(W) : double(W);
}

SANE_Status TSaneOption::SetNumber(SANE_Handle H, double V) const {
  if (!Desc)
    return SANE_STATUS_INVAL;
  SANE_Word W = Desc->type == SANE_TYPE_FIXED ? SaneFix(V) : SANE_Word(V + 0.5);
  if (Desc->type == SANE_TYPE_BOOL)
    W = V != 0;
  return Sane().control_option(H, Index, SANE_ACTION_SET_VALUE, &W, nullptr);
}

std::string TSaneOption::Text(SANE_Handle H) const {
  if (!Desc || Desc->type != SANE_TYPE_STRING || Desc->size <= 0)
    return {};
  std::vector<char> Buf(size_t(Desc->size) + 1, 0);
  if (Sane().control_option(H, Index, SANE_ACTION_GET_VALUE, Buf.data(), nullptr) != SANE_STATUS_GOOD)
    return {};
  return Buf.data();
}

SANE_Status TSaneOption::SetText(SANE_Handle H, const std::string& V) const {
  if (!Desc || Desc->type != SANE_TYPE_STRING)
    return SANE_STATUS_INVAL;
  std::vector<char> Buf(std::max<size_t>(size_t(std::max(Desc->size, 0)), V.size() + 1), 0);
  std::memcpy(Buf.data(), V.data(), V.size());
  return Sane().control_option(H, Index, SANE_ACTION_SET_VALUE, Buf.data(), nullptr);
}

std::vector<std::string> TSaneOption::Texts() const {
  std::vector<std::string> Out;
  if (Desc && Desc->constraint_type == SANE_CONSTRAINT_STRING_LIST && Desc->constraint.string_list)
    for (const char* const* S = Desc->constraint.string_list; *S; ++S)
      Out.emplace_back(*S);
  return Out;
}

std::vector<double> TSaneOption::Numbers() const {
  std::vector<double> Out;
  if (!Desc || Desc->constraint_type != SANE_CONSTRAINT_WORD_LIST || !Desc->constraint.word_list)
    return Out;
  const SANE_Word* L = Desc->constraint.word_list;
  for (SANE_Word I = 1; I <= L[0]; ++I)
    Out.push_back(Desc->type == SANE_TYPE_FIXED ? SaneUnfix(L[I]) : double(L[I]));
  return Out;
}

bool TSaneOption::Range(double& Min, double& Max) const {
  if (!Desc || Desc->constraint_type != SANE_CONSTRAINT_RANGE || !Desc->constraint.range)
    return false;
  const SANE_Range& R = *Desc->constraint.range;
  const bool Fixed = Desc->type == SANE_TYPE_FIXED;
  Min = Fixed ? SaneUnfix(R.min) : R.min;
  Max = Fixed ? SaneUnfix(R.max) : R.max;
  return true;
}

TSaneOption FindOption(SANE_Handle H, const char* Name) {
  TSaneOption O;
  const SANE_Option_Descriptor* First = Sane().get_option_descriptor(H, 0);
  SANE_Word Count = 0;
  if (!First || Sane().control_option(H, 0, SANE_ACTION_GET_VALUE, &Count, nullptr) != SANE_STATUS_GOOD)
    return O;
  for (SANE_Int I = 1; I < Count; ++I) {
    const SANE_Option_Descriptor* D = Sane().get_option_descriptor(H, I);
    if (D && D->name && std::strcmp(D->name, Name) == 0) {
      O.Index = I;
      O.Desc = D;
      break;
    }
  }
  return O;
}

#pragma once
// The scanner library (libsane.so.1), loaded when the source manager opens
// so that the program runs where it is not installed. Only the calls and
// records of the public SANE interface that the sources use.
#include <cstdint>
#include <string>
#include <vector>

using SANE_Word = int32_t;
using SANE_Int = int32_t;
using SANE_Bool = SANE_Word;
using SANE_Status = int32_t;
using SANE_Handle = void*;

inline constexpr SANE_Status SANE_STATUS_GOOD = 0;
inline constexpr SANE_Status SANE_STATUS_UNSUPPORTED = 1;
inline constexpr SANE_Status SANE_STATUS_CANCELLED = 2;
inline constexpr SANE_Status SANE_STATUS_DEVICE_BUSY = 3;
inline constexpr SANE_Status SANE_STATUS_INVAL = 4;
inline constexpr SANE_Status SANE_STATUS_EOF = 5;
inline constexpr SANE_Status SANE_STATUS_JAMMED = 6;
inline constexpr SANE_Status SANE_STATUS_NO_MEM = 10;

enum : SANE_Int { SANE_TYPE_BOOL, SANE_TYPE_INT, SANE_TYPE_FIXED, SANE_TYPE_STRING, SANE_TYPE_BUTTON, SANE_TYPE_GROUP };
enum : SANE_Int { SANE_CONSTRAINT_NONE, SANE_CONSTRAINT_RANGE, SANE_CONSTRAINT_WORD_LIST, SANE_CONSTRAINT_STRING_LIST };
enum : SANE_Int { SANE_FRAME_GRAY, SANE_FRAME_RGB, SANE_FRAME_RED, SANE_FRAME_GREEN, SANE_FRAME_BLUE };
inline constexpr SANE_Int SANE_CAP_SOFT_SELECT = 1;
inline constexpr SANE_Int SANE_CAP_INACTIVE = 32;
inline constexpr SANE_Int SANE_ACTION_GET_VALUE = 0;
inline constexpr SANE_Int SANE_ACTION_SET_VALUE = 1;

struct SANE_Device {
  const char* name;
  const char* vendor;
  const char* model;
  const char* type;
};

struct SANE_Range {
  SANE_Word min, max, quant;
};

struct SANE_Option_Descriptor {
  const char* name;
  const char* title;
  const char* desc;
  SANE_Int type;
  SANE_Int unit;
  SANE_Int size;
  SANE_Int cap;
  SANE_Int constraint_type;
  union {
    const char* const* string_list;
    const SANE_Word* word_list;
    const SANE_Range* range;
  } constraint;
};

struct SANE_Parameters {
  SANE_Int format;
  SANE_Bool last_frame;
  SANE_Int bytes_per_line;
  SANE_Int pixels_per_line;
  SANE_Int lines;
  SANE_Int depth;
};

constexpr double SaneUnfix(SANE_Word W) { return W / 65536.0; }
inline SANE_Word SaneFix(double V) { return SANE_Word(V * 65536.0 + (V < 0 ? -0.5 : 0.5)); }

struct TSaneDevice {
  std::string Name, Vendor, Model;
};

// The library's calls; all null until Load succeeds.
struct TSane {
  SANE_Status (*init)(SANE_Int*, void*) = nullptr;
  void (*exit)() = nullptr;
  SANE_Status (*get_devices)(const SANE_Device***, SANE_Bool) = nullptr;
  SANE_Status (*open)(const char*, SANE_Handle*) = nullptr;
  void (*close)(SANE_Handle) = nullptr;
  const SANE_Option_Descriptor* (*get_option_descriptor)(SANE_Handle, SANE_Int) = nullptr;
  SANE_Status (*control_option)(SANE_Handle, SANE_Int, SANE_Int, void*, SANE_Int*) = nullptr;
  SANE_Status (*get_parameters)(SANE_Handle, SANE_Parameters*) = nullptr;
  SANE_Status (*start)(SANE_Handle) = nullptr;
  SANE_Status (*read)(SANE_Handle, uint8_t*, SANE_Int, SANE_Int*) = nullptr;
  void (*cancel)(SANE_Handle) = nullptr;
  const char* (*strstatus)(SANE_Status) = nullptr;

  // Loads and initialises the library; false when it is missing or refuses.
  bool Load();
  // Ends the library and unloads it.
  void Unload();
  bool Loaded() const { return Library != nullptr; }
  std::vector<TSaneDevice> Devices();
  std::string StatusText(SANE_Status S) const;

private:
  void* Library = nullptr;
};

TSane& Sane();

// One option of an open device, by its well-known name.
struct TSaneOption {
  SANE_Int Index = -1;
  const SANE_Option_Descriptor* Desc = nullptr;
  bool Usable() const;
  // Numbers as doubles whatever the option's type (int or fixed).
  double Number(SANE_Handle H) const;
  SANE_Status SetNumber(SANE_Handle H, double V) const;
  std::string Text(SANE_Handle H) const;
  SANE_Status SetText(SANE_Handle H, const std::string& V) const;
  std::vector<std::string> Texts() const;
  // The listed values of a word list, or empty for other constraints.
  std::vector<double> Numbers() const;
  bool Range(double& Min, double& Max) const;
};
TSaneOption FindOption(SANE_Handle H, const char* Name);

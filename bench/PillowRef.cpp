#include "PillowRef.h"

#ifdef PELORIN_HAVE_PYTHON
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace {

const char* const DecoderSource = "import io\n"
                                  "from PIL import Image\n"
                                  "def pelorin_decode(data):\n"
                                  "    im = Image.open(io.BytesIO(data))\n"
                                  "    im.load()\n"
                                  "    return im.size\n"
                                  "def pelorin_image(data, w, h):\n"
                                  "    return Image.frombytes('RGB', (w, h), data)\n"
                                  "def pelorin_resize(im, w, h, f):\n"
                                  "    return im.resize((w, h), f).size\n"
                                  "def pelorin_point(im, table):\n"
                                  "    return im.point(table).size\n"
                                  "def pelorin_color(im, f):\n"
                                  "    from PIL import ImageEnhance\n"
                                  "    return ImageEnhance.Color(im).enhance(f).size\n"
                                  "def pelorin_eval(im, code):\n"
                                  "    from PIL import ImageFilter\n"
                                  "    return eval(code, {'im': im, 'ImageFilter': ImageFilter}).size\n";

// The message of the pending Python exception, which it clears.
std::string TakePythonError() {
  PyObject *Type = nullptr, *Value = nullptr, *Trace = nullptr;
  PyErr_Fetch(&Type, &Value, &Trace);
  std::string Text = "Python error";
  if (PyObject* S = Value ? PyObject_Str(Value) : nullptr) {
    if (const char* C = PyUnicode_AsUTF8(S))
      Text = C;
    Py_DECREF(S);
  }
  Py_XDECREF(Type);
  Py_XDECREF(Value);
  Py_XDECREF(Trace);
  PyErr_Clear();
  return Text;
}

// Python starts once and stays up for the process: Pillow's modules do not
// survive a restart of the interpreter.
struct TPython {
  PyObject* Decode = nullptr;
  PyObject* MakeImage = nullptr;
  PyObject* ResizeImage = nullptr;
  PyObject* PointImage = nullptr;
  PyObject* ColorImage = nullptr;
  PyObject* EvalImage = nullptr;
  std::string Error;

  TPython() {
    Py_InitializeEx(0);
    PyObject* Main = PyImport_AddModule("__main__");
    PyObject* Globals = Main ? PyModule_GetDict(Main) : nullptr;
    PyObject* Done = Globals ? PyRun_String(DecoderSource, Py_file_input, Globals, Globals) : nullptr;
    if (!Done) {
      Error = "Pillow not available: " + TakePythonError();
      return;
    }
    Py_DECREF(Done);
    Decode = PyDict_GetItemString(Globals, "pelorin_decode");
    Py_XINCREF(Decode);
    MakeImage = PyDict_GetItemString(Globals, "pelorin_image");
    Py_XINCREF(MakeImage);
    ResizeImage = PyDict_GetItemString(Globals, "pelorin_resize");
    Py_XINCREF(ResizeImage);
    PointImage = PyDict_GetItemString(Globals, "pelorin_point");
    Py_XINCREF(PointImage);
    ColorImage = PyDict_GetItemString(Globals, "pelorin_color");
    Py_XINCREF(ColorImage);
    EvalImage = PyDict_GetItemString(Globals, "pelorin_eval");
    Py_XINCREF(EvalImage);
  }
};

TPython& Python() {
  static TPython P;
  return P;
}

} // namespace

TPillowFile::TPillowFile(std::span<const uint8_t> Data) {
  TPython& P = Python();
  if (!P.Decode) {
    FError = P.Error;
    return;
  }
  FBytes = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(Data.data()), Py_ssize_t(Data.size()));
  if (!FBytes)
    FError = TakePythonError();
}

TPillowFile::~TPillowFile() { Py_XDECREF(static_cast<PyObject*>(FBytes)); }

bool TPillowFile::Decode() {
  if (!FBytes)
    return false;
  PyObject* Size = PyObject_CallOneArg(Python().Decode, static_cast<PyObject*>(FBytes));
  if (!Size) {
    FError = "Pillow could not read the file: " + TakePythonError();
    return false;
  }
  Py_DECREF(Size);
  return true;
}

TPillowImage::TPillowImage(std::span<const uint8_t> Rgb, int32_t Width, int32_t Height) {
  TPython& P = Python();
  if (!P.MakeImage) {
    FError = P.Error;
    return;
  }
  PyObject* Args = Py_BuildValue("(y#ii)", reinterpret_cast<const char*>(Rgb.data()), Py_ssize_t(Rgb.size()),
                                 int(Width), int(Height));
  FImage = Args ? PyObject_CallObject(P.MakeImage, Args) : nullptr;
  Py_XDECREF(Args);
  if (!FImage)
    FError = "Pillow could not take the picture: " + TakePythonError();
}

TPillowImage::~TPillowImage() { Py_XDECREF(static_cast<PyObject*>(FImage)); }

bool TPillowImage::Resize(int32_t Width, int32_t Height, int32_t Filter) {
  if (!FImage)
    return false;
  return Call(Python().ResizeImage,
              Py_BuildValue("(Oiii)", static_cast<PyObject*>(FImage), int(Width), int(Height), int(Filter)));
}

bool TPillowImage::Call(void* Function, void* Args) {
  PyObject* A = static_cast<PyObject*>(Args);
  PyObject* Size = A ? PyObject_CallObject(static_cast<PyObject*>(Function), A) : nullptr;
  Py_XDECREF(A);
  if (!Size) {
    FError = "Pillow failed: " + TakePythonError();
    return false;
  }
  Py_DECREF(Size);
  return true;
}

bool TPillowImage::Point(std::span<const uint8_t> Tables) {
  if (!FImage)
    return false;
  PyObject* List = PyList_New(Py_ssize_t(Tables.size()));
  for (size_t I = 0; List && I < Tables.size(); ++I)
    PyList_SET_ITEM(List, Py_ssize_t(I), PyLong_FromLong(Tables[I]));
  PyObject* Args = List ? Py_BuildValue("(ON)", static_cast<PyObject*>(FImage), List) : nullptr;
  return Call(Python().PointImage, Args);
}

bool TPillowImage::EnhanceColor(double Factor) {
  if (!FImage)
    return false;
  return Call(Python().ColorImage, Py_BuildValue("(Od)", static_cast<PyObject*>(FImage), Factor));
}

bool TPillowImage::Eval(const char* Code) {
  if (!FImage)
    return false;
  return Call(Python().EvalImage, Py_BuildValue("(Os)", static_cast<PyObject*>(FImage), Code));
}

#else

bool TPillowImage::Eval(const char*) { return false; }
bool TPillowImage::Point(std::span<const uint8_t>) { return false; }
bool TPillowImage::EnhanceColor(double) { return false; }

TPillowImage::TPillowImage(std::span<const uint8_t>, int32_t, int32_t)
    : FError("built without the Python library (python3-embed)") {}
TPillowImage::~TPillowImage() = default;
bool TPillowImage::Resize(int32_t, int32_t, int32_t) { return false; }

TPillowFile::TPillowFile(std::span<const uint8_t>) : FError("built without the Python library (python3-embed)") {}
TPillowFile::~TPillowFile() = default;
bool TPillowFile::Decode() { return false; }

#endif

void BenchPillowDecode(benchmark::State& State, std::span<const uint8_t> File, int64_t PixelBytes) {
  TPillowFile Pillow(File);
  for (auto _ : State)
    if (!Pillow.Decode()) {
      State.SkipWithError(Pillow.Error().c_str());
      break;
    }
  State.SetBytesProcessed(State.iterations() * PixelBytes);
}

// The mapping between failure codes and the run-time error numbers a script
// sees, and the standard English texts of those numbers. One table for the
// codes that have a VB number of their own, one for the texts.
#include "platform/automation/hresult.h"

#include <algorithm>
#include <iterator>

namespace tarnel {

namespace {

struct CodeToNumber {
  std::uint32_t code;
  std::int32_t number;
};

// Failure codes that a VB caller sees as a run-time error number of its own.
constexpr CodeToNumber kMappedCodes[] = {
    {0x80004001, 445},  // E_NOTIMPL
    {0x80004002, 430},  // E_NOINTERFACE
    {0x80004004, 287},  // E_ABORT
    {0x80070005, 70},   // E_ACCESSDENIED
    {0x8007000E, 7},    // E_OUTOFMEMORY
    {0x80070057, 5},    // E_INVALIDARG
    {0x800706BA, 462},  // RPC server unavailable
    {0x80020001, 438},  // DISP_E_UNKNOWNINTERFACE
    {0x80020003, 438},  // DISP_E_MEMBERNOTFOUND
    {0x80020004, 448},  // DISP_E_PARAMNOTFOUND
    {0x80020005, 13},   // DISP_E_TYPEMISMATCH
    {0x80020006, 438},  // DISP_E_UNKNOWNNAME
    {0x80020007, 446},  // DISP_E_NONAMEDARGS
    {0x80020008, 458},  // DISP_E_BADVARTYPE
    {0x8002000A, 6},    // DISP_E_OVERFLOW
    {0x8002000B, 9},    // DISP_E_BADINDEX
    {0x8002000C, 447},  // DISP_E_UNKNOWNLCID
    {0x8002000D, 10},   // DISP_E_ARRAYISLOCKED
    {0x8002000E, 450},  // DISP_E_BADPARAMCOUNT
    {0x8002000F, 449},  // DISP_E_PARAMNOTOPTIONAL
    {0x80020011, 451},  // DISP_E_NOTACOLLECTION
    {0x80020012, 11},   // DISP_E_DIVBYZERO
    {0x80028CA0, 13},   // TYPE_E_TYPEMISMATCH
    {0x80028CA1, 9},    // TYPE_E_OUTOFBOUNDS
    {0x80040154, 429},  // REGDB_E_CLASSNOTREG
    {0x800401F3, 429},  // CO_E_CLASSSTRING
    {0x800401F5, 429},  // CO_E_APPNOTFOUND
    {0x800401FE, 429},  // CO_E_APPDIDNTREG
    {0x80080005, 429},  // CO_E_SERVER_EXEC_FAILURE
    {0x80040111, 429},  // CLASS_E_CLASSNOTAVAILABLE
};

struct NumberText {
  std::int32_t number;
  const char16_t* text;
};

// The run-time's standard texts, sorted by number.
constexpr NumberText kTexts[] = {
    {3, u"Return without GoSub"},
    {5, u"Invalid procedure call or argument"},
    {6, u"Overflow"},
    {7, u"Out of memory"},
    {9, u"Subscript out of range"},
    {10, u"This array is fixed or temporarily locked"},
    {11, u"Division by zero"},
    {13, u"Type mismatch"},
    {14, u"Out of string space"},
    {16, u"Expression too complex"},
    {17, u"Can't perform requested operation"},
    {18, u"User interrupt occurred"},
    {20, u"Resume without error"},
    {28, u"Out of stack space"},
    {35, u"Sub, Function, or Property not defined"},
    {47, u"Too many DLL application clients"},
    {48, u"Error in loading DLL"},
    {49, u"Bad DLL calling convention"},
    {51, u"Internal error"},
    {52, u"Bad file name or number"},
    {53, u"File not found"},
    {54, u"Bad file mode"},
    {55, u"File already open"},
    {57, u"Device I/O error"},
    {58, u"File already exists"},
    {59, u"Bad record length"},
    {61, u"Disk full"},
    {62, u"Input past end of file"},
    {63, u"Bad record number"},
    {67, u"Too many files"},
    {68, u"Device unavailable"},
    {70, u"Permission denied"},
    {71, u"Disk not ready"},
    {74, u"Can't rename with different drive"},
    {75, u"Path/File access error"},
    {76, u"Path not found"},
    {91, u"Object variable or With block variable not set"},
    {92, u"For loop not initialized"},
    {93, u"Invalid pattern string"},
    {94, u"Invalid use of Null"},
    {322, u"Can't create necessary temporary file"},
    {380, u"Invalid property value"},
    {381, u"Invalid property array index"},
    {382, u"Set not supported at runtime"},
    {383, u"Set not supported (read-only property)"},
    {385, u"Need property array index"},
    {387, u"Set not permitted"},
    {393, u"Get not supported at runtime"},
    {394, u"Get not supported (write-only property)"},
    {422, u"Property not found"},
    {423, u"Property or method not found"},
    {424, u"Object required"},
    {429, u"ActiveX component can't create object"},
    {430, u"Class does not support Automation or does not support expected interface"},
    {432, u"File name or class name not found during Automation operation"},
    {438, u"Object doesn't support this property or method"},
    {440, u"Automation error"},
    {443, u"Automation object does not have a default value"},
    {445, u"Object doesn't support this action"},
    {446, u"Object doesn't support named arguments"},
    {447, u"Object doesn't support current locale setting"},
    {448, u"Named argument not found"},
    {449, u"Argument not optional"},
    {450, u"Wrong number of arguments or invalid property assignment"},
    {451, u"Property let procedure not defined and property get procedure did not return an object"},
    {452, u"Invalid ordinal"},
    {453, u"Specified DLL function not found"},
    {454, u"Code resource not found"},
    {455, u"Code resource lock error"},
    {457, u"This key is already associated with an element of this collection"},
    {458, u"Variable uses an Automation type not supported in Visual Basic"},
    {459, u"Object or class does not support the set of events"},
    {461, u"Method or data member not found"},
    {462, u"The remote server machine does not exist or is unavailable"},
};

constexpr char16_t kApplicationDefined[] = u"Application-defined or object-defined error";
constexpr char16_t kAutomationError[] = u"Automation error";

constexpr std::uint32_t kFacilityMask = 0xFFFF0000u;
constexpr std::uint32_t kControlFacility = 0x800A0000u;
constexpr std::uint32_t kInterfaceFacility = 0x80040000u;  // vbObjectError's range

const char16_t* TextOfNumber(std::int32_t number) {
  auto end = std::end(kTexts);
  auto it = std::lower_bound(std::begin(kTexts), end, number,
                             [](const NumberText& t, std::int32_t n) { return t.number < n; });
  return it != end && it->number == number ? it->text : nullptr;
}

}  // namespace

std::int32_t ErrorNumberFromHResult(HRESULT hr) {
  auto code = static_cast<std::uint32_t>(hr);
  if ((code & kFacilityMask) == kControlFacility && (code & 0xFFFFu) != 0) {
    return static_cast<std::int32_t>(code & 0xFFFFu);
  }
  for (const auto& m : kMappedCodes) {
    if (m.code == code) return m.number;
  }
  return hr;
}

HRESULT HResultFromErrorNumber(std::int32_t n) {
  if (n == 0) return S_OK;
  if (n < 0) return n;  // already a failure code (vbObjectError + x, ADO codes)
  if (n <= 0xFFFF) return ControlError(n);
  // A positive number beyond the run-time range cannot be carried as an
  // error of its own; VB's Err.Raise rejects it as an invalid argument.
  return E_INVALIDARG;
}

std::u16string StandardErrorDescription(std::int32_t number) {
  std::int32_t n = number < 0 ? ErrorNumberFromHResult(number) : number;
  if (n > 0) {
    const char16_t* text = TextOfNumber(n);
    return text ? text : kApplicationDefined;
  }
  if (n == 0) return {};
  // A failure code with no VB number of its own. Numbers a component built
  // on vbObjectError (beyond the 512 reserved ones) are its own errors; any
  // other code is a failure of the automation machinery.
  auto code = static_cast<std::uint32_t>(n);
  if ((code & kFacilityMask) == kInterfaceFacility && (code & 0xFFFFu) > 512) return kApplicationDefined;
  return kAutomationError;
}

}  // namespace tarnel

// The built-in classes of the data access objects and their creators.
#include "platform/adodb/adodb_classes.h"

#include <mutex>

#include "platform/adodb/command.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/parameters.h"
#include "platform/adodb/record.h"
#include "platform/adodb/recordset.h"
#include "platform/adodb/stream.h"
#include "platform/automation/activation.h"

namespace tarnel::adodb {

namespace {

template <class T>
void RegisterClass() {
  RegisterBuiltinClass(*T::Class(), [] { return ComPtr<Dispatch>(MakeObject<T>()); });
}

}  // namespace

void RegisterAdodbClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterClass<Connection>();
    RegisterClass<Recordset>();
    RegisterClass<Command>();
    RegisterClass<Parameter>();
    RegisterClass<Record>();
    RegisterClass<Stream>();
  });
}

}  // namespace tarnel::adodb

// The host's global functions: creating objects, running the thread's
// messages, and a control's face and resize as its container sees them.
// Each checks its arguments first and raises a numbered error for bad ones.
#include "host/host_api.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "host/host_state.h"
#include "host/lua_events.h"
#include "host/lua_object.h"
#include "host/lua_value.h"
#include "platform/apartment/apartment.h"
#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/automation/control_site.h"

namespace tarnel::host {

bool TakeWaitingError(lua_State* L) {
  HostState* host = HostOf(L);
  if (!host) return false;
  if (host->pendingErrorRef != LUA_NOREF) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, host->pendingErrorRef);
    luaL_unref(L, LUA_REGISTRYINDEX, host->pendingErrorRef);
    host->pendingErrorRef = LUA_NOREF;
    host->pendingNative.reset();  // the first error wins; the later one is dropped
    return true;
  }
  if (host->pendingNative) {
    ScriptError error = std::move(*host->pendingNative);
    host->pendingNative.reset();
    PushError(L, error);
    return true;
  }
  return false;
}

namespace {

[[noreturn]] void WrongArgumentCount(const char16_t* function) {
  RaiseError(450, StandardErrorDescription(450) + u" ('" + function + u"')");
}

void CheckArgumentCount(lua_State* L, int min, int max, const char16_t* function) {
  int n = lua_gettop(L);
  if (n < min || n > max) WrongArgumentCount(function);
}

[[noreturn]] void BadArgument(int number, int position, const char16_t* function, const char16_t* expected) {
  RaiseError(number, StandardErrorDescription(number) + u" (argument " + DecimalText(position) + u" of '" + function +
                         u"': " + expected + u")");
}

// A whole number argument within 32 bits.
std::int32_t Int32Argument(lua_State* L, int index, const char16_t* function) {
  if (lua_type(L, index) != LUA_TNUMBER) BadArgument(13, index, function, u"a number is needed");
  double value = lua_tonumber(L, index);
  if (!std::isfinite(value) || std::floor(value) != value) BadArgument(5, index, function, u"a whole number is needed");
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    BadArgument(6, index, function, u"out of range");
  }
  return static_cast<std::int32_t>(value);
}

ComPtr<Dispatch> ObjectArgument(lua_State* L, int index, const char16_t* function) {
  ObjectBox* box = ToObjectBox(L, index);
  if (!box || !box->object) BadArgument(424, index, function, u"an object is needed");
  return ComPtr<Dispatch>(box->object);
}

ComPtr<ControlFaceProvider> FaceOf(lua_State* L, const char16_t* function) {
  auto face = ObjectArgument(L, 1, function).As<ControlFaceProvider>(IID_ControlFaceProvider);
  if (!face) RaiseError(438, StandardErrorDescription(438) + u" (the object has no face: '" + function + u"')");
  return face;
}

void SetStringField(lua_State* L, const char* field, UStringView text) {
  std::string utf8 = ToUtf8(text);
  lua_pushlstring(L, utf8.data(), utf8.size());
  lua_setfield(L, -2, field);
}

void SetIntegerField(lua_State* L, const char* field, std::int32_t value) {
  lua_pushinteger(L, value);
  lua_setfield(L, -2, field);
}

int CreateObjectWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    CheckArgumentCount(L, 1, 1, u"CreateObject");
    if (lua_type(L, 1) != LUA_TSTRING) BadArgument(13, 1, u"CreateObject", u"a ProgID string is needed");
    std::size_t length = 0;
    const char* text = lua_tolstring(L, 1, &length);
    ComPtr<Dispatch> object = CreateObject(FromUtf8(std::string_view(text, length)));
    PushObject(L, object.get(), true);
    return 1;
  });
}

int DoEventsWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    CheckArgumentCount(L, 0, 0, u"DoEvents");
    std::size_t ran = Apartment::Current().ProcessPending();
    lua_pushinteger(L, static_cast<lua_Integer>(ran));
    return 1;
  });
}

int SleepWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    CheckArgumentCount(L, 1, 1, u"Sleep");
    if (lua_type(L, 1) != LUA_TNUMBER) BadArgument(13, 1, u"Sleep", u"milliseconds are needed");
    double ms = lua_tonumber(L, 1);
    if (!(ms >= 0) || ms > 2147483647.0) BadArgument(5, 1, u"Sleep", u"0 to 2147483647 milliseconds");
    HostState* host = HostOf(L);
    // An event handler's error ends the wait early, so the script sees it at once.
    Apartment::Current().RunUntil(
        [host] { return host && (host->pendingErrorRef != LUA_NOREF || host->pendingNative.has_value()); },
        std::chrono::milliseconds(static_cast<std::int64_t>(ms)));
    return 0;
  });
}

int ControlFaceWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    CheckArgumentCount(L, 1, 1, u"ControlFace");
    ControlFace face = FaceOf(L, u"ControlFace")->GetFace();
    if (!lua_checkstack(L, 6)) RaiseError(28);
    lua_createtable(L, 0, 3);
    SetIntegerField(L, "width", face.width);
    SetIntegerField(L, "height", face.height);
    lua_createtable(L, static_cast<int>(face.labels.size()), 0);
    lua_Integer i = 0;
    for (const ControlLabel& label : face.labels) {
      lua_createtable(L, 0, 6);
      SetStringField(L, "name", label.name);
      SetStringField(L, "caption", label.caption);
      SetIntegerField(L, "left", label.left);
      SetIntegerField(L, "top", label.top);
      SetIntegerField(L, "width", label.width);
      SetIntegerField(L, "height", label.height);
      lua_rawseti(L, -2, ++i);
    }
    lua_setfield(L, -2, "labels");
    return 1;
  });
}

int ResizeControlWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    CheckArgumentCount(L, 3, 3, u"ResizeControl");
    ComPtr<ControlFaceProvider> face = FaceOf(L, u"ResizeControl");
    std::int32_t width = Int32Argument(L, 2, u"ResizeControl");
    std::int32_t height = Int32Argument(L, 3, u"ResizeControl");
    if (width < 0) BadArgument(5, 2, u"ResizeControl", u"a size cannot be negative");
    if (height < 0) BadArgument(5, 3, u"ResizeControl", u"a size cannot be negative");
    face->Resize(width, height);
    return 0;
  });
}

template <int (*Work)(lua_State*)>
int Entry(lua_State* L) {
  return FinishEntry(L, Work(L));
}

}  // namespace

void OpenHostLibrary(lua_State* L) {
  RegisterErrorType(L);
  RegisterValueTypes(L);
  RegisterObjectType(L);
  static const luaL_Reg kGlobals[] = {
      {"CreateObject", Entry<CreateObjectWork>},
      {"ConnectEvents", LuaConnectEvents},
      {"DisconnectEvents", LuaDisconnectEvents},
      {"DoEvents", Entry<DoEventsWork>},
      {"Sleep", Entry<SleepWork>},
      {"ControlFace", Entry<ControlFaceWork>},
      {"ResizeControl", Entry<ResizeControlWork>},
      {nullptr, nullptr},
  };
  lua_pushglobaltable(L);
  luaL_setfuncs(L, kGlobals, 0);
  lua_pop(L, 1);
}

}  // namespace tarnel::host

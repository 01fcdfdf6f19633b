// Events in the host: handlers by name with the arguments by name, the
// write-back of by-reference arguments, events fired later from the
// apartment's queue (DoEvents, Sleep), errors in handlers, nested calls,
// disconnecting; and a control's face and resize.
#include "host_test_support.h"

#include "platform/automation/activation.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/member_binding.h"

namespace tarnel::host::testing {
namespace {

class HostEvents : public InProcessHost {};

TEST_F(HostEvents, HandlersAnswerThroughByReferenceArguments) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local seen
    ConnectEvents(o, {
      Changed = function(args) seen = args.Name; args.Cancel = 4 end,
      Query = function(args) eq(args.Answer, nil); args.Answer = "yes" end,
    })
    eq(o:FireChanged("first"), 4, "Cancel written back")
    eq(seen, "first")
    eq(o:Ask("?"), "yes", "a Variant reference takes any value")
  )"), "");
}

TEST_F(HostEvents, UnassignedArgumentsKeepTheirValueAndType) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    ConnectEvents(o, { Changed = function(args) args.Name = "ignored: by value" end })
    eq(o:FireChanged("x"), 0)
    ConnectEvents(o, { Changed = function(args) args.Cancel = "12" end })
    eq(o:FireChanged("x"), 12, "converted to the reference's type")
  )"), "");
}

TEST_F(HostEvents, QueuedEventsArriveInDoEventsAndSleep) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local calls = 0
    ConnectEvents(o, { Progress = function(args)
      calls = calls + 1
      args.Count = args.Count * 2
      args.Text = args.Text .. " seen"
    end })
    o:PostProgress(21)
    eq(calls, 0, "nothing before the queue runs")
    eq(DoEvents(), 1)
    eq(calls, 1); eq(o.LastCount, 42); eq(o.LastText, "progress seen")
    o:PostProgress(1)
    Sleep(20)
    eq(calls, 2); eq(o.LastCount, 2)
    eq(DoEvents(), 0)
  )"), "");
}

TEST_F(HostEvents, HandlerErrorsReachTheScript) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    ConnectEvents(o, { Changed = function(args) error({ number = 77, description = "handler says no" }) end })
    local e = fails(o.FireChanged, o, "x")
    eq(e.number, 77); eq(e.description, "handler says no")
    ConnectEvents(o, { Changed = function(args) local t = nil; return t.field end })
    e = fails(o.FireChanged, o, "x")
    assert(type(e) == "string" and e:find("attempt to index a nil value"), tostring(e))
    -- A value the reference cannot take.
    ConnectEvents(o, { Changed = function(args) args.Cancel = "not a number" end })
    e = fails(o.FireChanged, o, "x")
    eq(e.number, 13); assert(e.description:find("Cancel"), e.description)
    ConnectEvents(o, { Progress = function(args) error("late failure") end })
    o:PostProgress(1)
    e = fails(DoEvents)
    assert(e:find("late failure"), e)
    o:PostProgress(1)
    local started = os.time()
    e = fails(Sleep, 5000)
    assert(e:find("late failure"), e)
    assert(os.time() - started < 3, "the error ends the wait")
    -- The object still works afterwards.
    eq(o:Add(1, 1), 2)
  )"), "");
}

TEST_F(HostEvents, QueuedMessageFailuresBecomeScriptErrors) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    o:PostFailure(62)
    local e = fails(DoEvents)
    eq(e.number, 62); eq(e.description, "Input past end of file")
    eq(DoEvents(), 0)
  )"), "");
}

TEST_F(HostEvents, HandlersMayCallBackAndNest) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local depth, deepest = 0, 0
    ConnectEvents(o, { Changed = function(args)
      depth = depth + 1
      deepest = math.max(deepest, depth)
      if depth < 5 then args.Cancel = o:FireChanged("again") + 1 end
      o.Name = "set in handler " .. depth
      depth = depth - 1
    end })
    eq(o:FireChanged("start"), 4)
    eq(deepest, 5)
    eq(o.Name, "set in handler 1")
    -- Unbounded recursion ends with an error, not a crash.
    ConnectEvents(o, { Changed = function(args) o:FireChanged("loop") end })
    fails(o.FireChanged, o, "loop")
    -- From a coroutine as well.
    ConnectEvents(o, { Changed = function(args) args.Cancel = 3 end })
    local co = coroutine.wrap(function() return o:FireChanged("co") end)
    eq(co(), 3)
  )"), "");
}

TEST_F(HostEvents, DisconnectStopsTheEvents) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local calls = 0
    ConnectEvents(o, { Changed = function(args) calls = calls + 1; DisconnectEvents(o) end })
    o:FireChanged("a")
    o:FireChanged("b")
    eq(calls, 1, "disconnecting inside the handler")
    eq(DisconnectEvents(o), false)
    ConnectEvents(o, { Changed = function(args) calls = calls + 10 end })
    ConnectEvents(o, { Changed = function(args) calls = calls + 100 end })
    o:FireChanged("c")
    eq(calls, 101, "a second ConnectEvents replaces the first")
    ConnectEvents(o, {})
    eq(o:FireChanged("d"), 0, "no handler: the event is ignored")
    eq(DisconnectEvents(o), true)
    eq(fails(ConnectEvents, o).number, 450)
  )"), "");
}

class Silent final : public DispatchObject<Silent> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(u"_Silent", MakeGuid("7C000000-0000-4000-8000-000000000001"), TypeKind::Dispatch, {});
    return type;
  }
  static const CoClassInfo* Class() {
    static const CoClassInfo info{u"Silent", MakeGuid("7C000000-0000-4000-8000-000000000002"), u"Test.Silent",
                                  &Type(), nullptr};
    return &info;
  }
};

TEST_F(HostEvents, ObjectsWithoutEventsAndFacesSaySo) {
  RegisterBuiltinClass(*Silent::Class(), [] { return ComPtr<Dispatch>(MakeObject<Silent>()); });
  EXPECT_EQ(Run(R"(
    local s = CreateObject("Test.Silent")
    eq(fails(ConnectEvents, s, {}).number, 459)
    eq(fails(ControlFace, s).number, 438)
    eq(fails(ResizeControl, s, 1, 1).number, 438)
  )"), "");
}

TEST_F(HostEvents, ControlFaceAndResize) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    o.Name = "face"
    local f = ControlFace(o)
    eq(f.width, 2400); eq(f.height, 510); eq(#f.labels, 2)
    eq(f.labels[1].name, "lblName"); eq(f.labels[1].caption, "face")
    eq(f.labels[2].top, 255); eq(f.labels[2].width, 1200); eq(f.labels[2].caption, "2400x510")
    ResizeControl(o, 5000, 9999)
    f = ControlFace(o)
    eq(f.width, 5000); eq(f.height, 510, "the resize handler fixes the height")
    eq(f.labels[2].caption, "5000x510")
    ResizeControl(o, 10, 10)
    eq(ControlFace(o).width, 1200)
  )"), "");
}

TEST_F(HostEvents, ClosingWithLiveConnectionsIsClean) {
  EXPECT_EQ(Run(R"(
    keep = CreateObject("Tarnel.TestObject")
    ConnectEvents(keep, { Progress = function(args) error("must not run after close") end })
    keep:PostProgress(3)
  )"), "");
  host.Close();  // the queued event finds no handler; nothing leaks
}

}  // namespace
}  // namespace tarnel::host::testing

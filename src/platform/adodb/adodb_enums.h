// The numeric values of the data access object model's enumerations (the
// ADODB 2.8 type library's): object states, cursor and lock kinds, command
// types and execute options, event status and reasons, edit modes,
// stream options and the error numbers. Data types, parameter directions,
// field attributes and access modes come from the providers' ado_types.h.
// Constants only; usable on any thread.
#pragma once
#include <cstdint>

#include "platform/adodb/provider/ado_types.h"

namespace tarnel::adodb {

// ObjectStateEnum (bit flags).
constexpr std::int32_t adStateClosed = 0;
constexpr std::int32_t adStateOpen = 1;
constexpr std::int32_t adStateConnecting = 2;
constexpr std::int32_t adStateExecuting = 4;
constexpr std::int32_t adStateFetching = 8;

// CursorLocationEnum.
constexpr std::int32_t adUseNone = 1;
constexpr std::int32_t adUseServer = 2;
constexpr std::int32_t adUseClient = 3;

// CursorTypeEnum.
constexpr std::int32_t adOpenUnspecified = -1;
constexpr std::int32_t adOpenForwardOnly = 0;
constexpr std::int32_t adOpenKeyset = 1;
constexpr std::int32_t adOpenDynamic = 2;
constexpr std::int32_t adOpenStatic = 3;

// LockTypeEnum.
constexpr std::int32_t adLockUnspecified = -1;
constexpr std::int32_t adLockReadOnly = 1;
constexpr std::int32_t adLockPessimistic = 2;
constexpr std::int32_t adLockOptimistic = 3;
constexpr std::int32_t adLockBatchOptimistic = 4;

// CommandTypeEnum (the members the providers do not share).
constexpr std::int32_t adCmdFile = 256;
constexpr std::int32_t adCmdTableDirect = 512;

// ExecuteOptionEnum (OR-ed with a command type).
constexpr std::int32_t adOptionUnspecified = -1;
constexpr std::int32_t adAsyncExecute = 0x10;
constexpr std::int32_t adAsyncFetch = 0x20;
constexpr std::int32_t adAsyncFetchNonBlocking = 0x40;
constexpr std::int32_t adExecuteNoRecords = 0x80;
constexpr std::int32_t adExecuteStream = 0x400;
constexpr std::int32_t adExecuteRecord = 0x800;

// ConnectOptionEnum.
constexpr std::int32_t adConnectUnspecified = -1;
constexpr std::int32_t adAsyncConnect = 0x10;

// EventStatusEnum.
constexpr std::int32_t adStatusOK = 1;
constexpr std::int32_t adStatusErrorsOccurred = 2;
constexpr std::int32_t adStatusCantDeny = 3;
constexpr std::int32_t adStatusCancel = 4;
constexpr std::int32_t adStatusUnwantedEvent = 5;

// EventReasonEnum.
constexpr std::int32_t adRsnAddNew = 1;
constexpr std::int32_t adRsnDelete = 2;
constexpr std::int32_t adRsnUpdate = 3;
constexpr std::int32_t adRsnUndoUpdate = 4;
constexpr std::int32_t adRsnUndoAddNew = 5;
constexpr std::int32_t adRsnUndoDelete = 6;
constexpr std::int32_t adRsnRequery = 7;
constexpr std::int32_t adRsnResynch = 8;
constexpr std::int32_t adRsnClose = 9;
constexpr std::int32_t adRsnMove = 10;
constexpr std::int32_t adRsnFirstChange = 11;
constexpr std::int32_t adRsnMoveFirst = 12;
constexpr std::int32_t adRsnMoveNext = 13;
constexpr std::int32_t adRsnMovePrevious = 14;
constexpr std::int32_t adRsnMoveLast = 15;

// ParameterAttributesEnum.
constexpr std::int32_t adParamSigned = 16;
constexpr std::int32_t adParamNullable = 64;
constexpr std::int32_t adParamLong = 128;

// EditModeEnum.
constexpr std::int32_t adEditNone = 0;
constexpr std::int32_t adEditInProgress = 1;
constexpr std::int32_t adEditAdd = 2;
constexpr std::int32_t adEditDelete = 4;

// PositionEnum (AbsolutePosition).
constexpr std::int32_t adPosUnknown = -1;
constexpr std::int32_t adPosBOF = -2;
constexpr std::int32_t adPosEOF = -3;

// AffectEnum.
constexpr std::int32_t adAffectCurrent = 1;
constexpr std::int32_t adAffectGroup = 2;
constexpr std::int32_t adAffectAll = 3;
constexpr std::int32_t adAffectAllChapters = 4;

// FilterGroupEnum.
constexpr std::int32_t adFilterNone = 0;
constexpr std::int32_t adFilterPendingRecords = 1;

// RecordStatusEnum (the members this implementation reports).
constexpr std::int32_t adRecOK = 0;
constexpr std::int32_t adRecNew = 0x1;
constexpr std::int32_t adRecModified = 0x2;
constexpr std::int32_t adRecDeleted = 0x4;
constexpr std::int32_t adRecUnmodified = 0x8;

// CursorOptionEnum (Supports).
constexpr std::int32_t adHoldRecords = 0x100;
constexpr std::int32_t adMovePrevious = 0x200;
constexpr std::int32_t adBookmark = 0x2000;
constexpr std::int32_t adApproxPosition = 0x4000;
constexpr std::int32_t adUpdateBatch = 0x10000;
constexpr std::int32_t adResync = 0x20000;
constexpr std::int32_t adNotify = 0x40000;
constexpr std::int32_t adFind = 0x80000;
constexpr std::int32_t adSeek = 0x400000;
constexpr std::int32_t adIndex = 0x800000;
constexpr std::int32_t adAddNew = 0x1000400;
constexpr std::int32_t adDelete = 0x1000800;
constexpr std::int32_t adUpdate = 0x1008000;

// IsolationLevelEnum.
constexpr std::int32_t adXactUnspecified = -1;
constexpr std::int32_t adXactChaos = 16;
constexpr std::int32_t adXactReadUncommitted = 256;
constexpr std::int32_t adXactReadCommitted = 4096;
constexpr std::int32_t adXactRepeatableRead = 65536;
constexpr std::int32_t adXactSerializable = 1048576;

// XactAttributeEnum.
constexpr std::int32_t adXactCommitRetaining = 131072;
constexpr std::int32_t adXactAbortRetaining = 262144;

// ConnectModeEnum (sharing modes; the access modes are shared with the providers).
constexpr std::int32_t adModeShareDenyRead = 4;
constexpr std::int32_t adModeShareDenyWrite = 8;
constexpr std::int32_t adModeShareExclusive = 12;
constexpr std::int32_t adModeShareDenyNone = 16;

// StreamTypeEnum, LineSeparatorEnum, StreamReadEnum, StreamWriteEnum,
// SaveOptionsEnum, StreamOpenOptionsEnum.
constexpr std::int32_t adTypeBinary = 1;
constexpr std::int32_t adTypeText = 2;
constexpr std::int32_t adLF = 10;
constexpr std::int32_t adCR = 13;
constexpr std::int32_t adCRLF = -1;
constexpr std::int32_t adReadAll = -1;
constexpr std::int32_t adReadLine = -2;
constexpr std::int32_t adWriteChar = 0;
constexpr std::int32_t adWriteLine = 1;
constexpr std::int32_t adSaveCreateNotExist = 1;
constexpr std::int32_t adSaveCreateOverWrite = 2;
constexpr std::int32_t adOpenStreamUnspecified = -1;
constexpr std::int32_t adOpenStreamAsync = 1;
constexpr std::int32_t adOpenStreamFromRecord = 4;

// RecordTypeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum.
constexpr std::int32_t adSimpleRecord = 0;
constexpr std::int32_t adCollectionRecord = 1;
constexpr std::int32_t adFailIfNotExists = -1;
constexpr std::int32_t adOpenRecordUnspecified = -1;

// SearchDirectionEnum, StringFormatEnum.
constexpr std::int32_t adSearchForward = 1;
constexpr std::int32_t adSearchBackward = -1;
constexpr std::int32_t adClipString = 2;

// ErrorValueEnum: the object model's own error numbers (raised as
// 0x800A0000 + n).
constexpr int adErrProviderFailed = 3000;
constexpr int adErrInvalidArgument = 3001;
constexpr int adErrOpeningFile = 3002;
constexpr int adErrReadFile = 3003;
constexpr int adErrWriteFile = 3004;
constexpr int adErrNoCurrentRecord = 3021;
constexpr int adErrIllegalOperation = 3219;
constexpr int adErrCantChangeProvider = 3220;
constexpr int adErrInTransaction = 3246;
constexpr int adErrFeatureNotAvailable = 3251;
constexpr int adErrItemNotFound = 3265;
constexpr int adErrObjectInCollection = 3367;
constexpr int adErrObjectNotSet = 3420;
constexpr int adErrDataConversion = 3421;
constexpr int adErrObjectClosed = 3704;
constexpr int adErrObjectOpen = 3705;
constexpr int adErrProviderNotFound = 3706;
constexpr int adErrBoundToCommand = 3707;
constexpr int adErrInvalidParamInfo = 3708;
constexpr int adErrInvalidConnection = 3709;
constexpr int adErrNotReentrant = 3710;
constexpr int adErrStillExecuting = 3711;
constexpr int adErrOperationCancelled = 3712;
constexpr int adErrStillConnecting = 3713;
constexpr int adErrInvalidTransaction = 3714;
constexpr int adErrNotExecuting = 3715;
constexpr int adErrCantConvertvalue = 3724;
constexpr int adErrProviderNotSpecified = 3753;

}  // namespace tarnel::adodb

// Registration of the data access objects' creatable classes with the
// automation runtime: ADODB.Connection, ADODB.Recordset, ADODB.Command,
// ADODB.Parameter, ADODB.Record and ADODB.Stream, by ProgID and by CLSID.
// The host calls RegisterAdodbClasses once at start-up, before any object
// is created; calling it again changes nothing. It may be called from any
// thread; each object it lets CreateObject make belongs to the apartment of
// the thread that created it.
#pragma once

namespace tarnel::adodb {

void RegisterAdodbClasses();

}  // namespace tarnel::adodb

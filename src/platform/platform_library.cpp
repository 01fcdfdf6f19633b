// The shared platform library: it only bundles the layers' static libraries
// (linked whole) so that every module of the process shares one copy.

// The layer check's shared objects hold one engine library whole
// (cmake/VoskModules.cmake); this file gives each a source of its own.

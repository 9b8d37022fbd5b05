// Translation unit of the layer-check libraries: it adds nothing; the library it is linked into
// carries one layer of the record library whole, so that the linker sees every symbol it needs.

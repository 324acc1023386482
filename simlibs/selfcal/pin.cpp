// The "_pin" companion of a self-calibration library: loading it is all it is for, so it exports
// nothing.

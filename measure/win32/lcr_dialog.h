#pragma once
// The "L-C-R Meter" dialog: runs modally on the measurement thread, reads
// one component per Start and calibrates the meter on a resistor.
namespace srx {

// Measurement > L-C-R Meter; 0 when a measurement dialog already runs.
int OpenLcrDialog();

}  // namespace srx

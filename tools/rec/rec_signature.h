// The text that marks a program file as our REC: AT asks a program named
// REC to check its settings before a booking only when its file holds this
// text, so that a user's own program of that name is never started then.
#pragma once

// Printed by "REC --version", which keeps it in REC's executable whatever
// the linker drops.
inline constexpr char k_rec_signature[] = "zoba REC, the recorder launcher: sig 5c1e9a7d-04b2";

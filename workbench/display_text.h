// The decimal separator of the numbers the program shows: the user's regional one when it is
// a single ASCII character, else ".".
#pragma once

char DisplayDecimalSeparator();

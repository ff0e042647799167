// A command line split into its arguments as the system splits one (CommandLineToArgvW), without
// the system's shell library: loading it loads the window and drawing libraries too, a cost every
// start of a program that shows no window would pay.
#pragma once

#include <string>
#include <vector>

// The arguments of pwszCommandLine, the program's name first: that one up to its closing quote
// when quoted, else to the first blank, as it is; each other argument ends at a blank outside
// quotes, quotes are dropped, a backslash is a letter except in a run of them before a quote,
// where each pair gives one backslash and an odd one makes the quote a letter, and two quotes
// inside quotes give one and end the quoted part.
std::vector<std::wstring> SplitCommandLine(const wchar_t* pwszCommandLine);

// wstrArgument written so that SplitCommandLine reads it back whole: quoted, the backslashes
// before the closing quote doubled. For arguments that hold no quote (paths, names).
std::wstring QuoteCommandArgument(const std::wstring& wstrArgument);

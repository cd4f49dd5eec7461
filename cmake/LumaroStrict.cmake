# The rules every target of the project is compiled under, in one interface
# target that each of them links privately (so they do not leak to a project
# that uses Lumaro as a subproject).
add_library(lumaro_strict INTERFACE)
target_compile_options(lumaro_strict INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-align -Wformat=2 -Wimplicit-fallthrough)
# Nothing that the oldest Qt we build with (Debian 12's 6.4) had already
# deprecated is used; Qt 6.4 reads the second name, later versions the first.
target_compile_definitions(lumaro_strict INTERFACE
  QT_DISABLE_DEPRECATED_UP_TO=0x060400
  QT_DISABLE_DEPRECATED_BEFORE=0x060400)
# Every text made from bytes, and every byte string made from a text, says how
# they are to be read or written, in the program and in its tests alike; a byte
# array does not turn into a char pointer by itself either.
target_compile_definitions(lumaro_strict INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY)
# Texts joined with + are built in one allocation. The join is a builder, not a
# QString, until it is given a type.
target_compile_definitions(lumaro_strict INTERFACE QT_USE_QSTRINGBUILDER)
# Kept for the day the containers check it again: Qt 6 (6.4 included) no longer
# reads this name, so today it changes nothing.
target_compile_definitions(lumaro_strict INTERFACE QT_STRICT_ITERATORS)

option(LUMARO_WERROR "Treat compiler warnings as errors" OFF)
if(LUMARO_WERROR)
  target_compile_options(lumaro_strict INTERFACE -Werror)
endif()

# AddressSanitizer and UndefinedBehaviorSanitizer over everything the project
# builds, the reader process included. Any undefined behaviour ends the program,
# so a test cannot pass over it.
option(LUMARO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(LUMARO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()

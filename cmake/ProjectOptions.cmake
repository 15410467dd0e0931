# Warnings and sanitizers for our own targets. Linked as an interface library so
# third-party code and generated code are not held to -Werror.
add_library(qm_options INTERFACE)
target_compile_features(qm_options INTERFACE cxx_std_20)
target_compile_options(qm_options INTERFACE -Wall -Wextra -Werror)

option(QM_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QM_SANITIZE)
    # Applied globally so that every object (ours and Qt's inline code) agrees on the ASan ABI.
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

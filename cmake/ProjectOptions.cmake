# Warnings and sanitizers for our own targets. Linked as an interface library so
# third-party code and generated code are not held to our warnings.
add_library(qm_options INTERFACE)
target_compile_features(qm_options INTERFACE cxx_std_20)
target_compile_options(qm_options INTERFACE -Wall -Wextra)

# Development (scripts/build.sh) and CI turn warnings into errors. A plain
# configure leaves them warnings, so a newer compiler's new warning never
# stops someone from building a release.
option(QM_WERROR "Treat compiler warnings in our own targets as errors" OFF)
if(QM_WERROR)
    target_compile_options(qm_options INTERFACE -Werror)
endif()

option(QM_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QM_SANITIZE)
    # Applied globally so that every object (ours and Qt's inline code) agrees on the ASan ABI.
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

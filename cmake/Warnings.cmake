function(computer_id_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${COMPUTER_ID_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
            $<$<BOOL:${COMPUTER_ID_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
endfunction()

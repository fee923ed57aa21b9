# Makes the manual page and the bash completion from the built trakmon's own
# definition of its commands and options (trakmon --command-line-json), so
# that a command or option added to the program appears in both by itself.
#
#   cmake -DTRAKMON=path -DMAN_TEMPLATE=trakmon.1.in -DMAN_PAGE=out.1
#         -DBASH_COMPLETION=out -DBUILD_DATE=YYYY-MM-DD -P make_docs.cmake
cmake_minimum_required(VERSION 3.19)  # string(JSON)

execute_process(COMMAND ${TRAKMON} --command-line-json OUTPUT_VARIABLE cli RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TRAKMON} --command-line-json failed: ${status}")
endif()
execute_process(COMMAND ${TRAKMON} --version OUTPUT_VARIABLE version_line
                OUTPUT_STRIP_TRAILING_WHITESPACE)

# ---- Reading the definition ---------------------------------------------------
# Descriptions hold semicolons, so nothing here is kept in a CMake list.

# Text for troff: backslashes and dashes escaped, no line taken for a request.
function(troff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A sentence for troff: it keeps its hyphens (only option names in it are
# escaped), starts with a capital and ends with a full stop.
function(troff_prose out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^| |\\()--([a-z])" "\\1\\\\-\\\\-\\2" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  if(NOT text MATCHES "[.!?]$")
    string(APPEND text ".")
  endif()
  string(SUBSTRING "${text}" 0 1 first)
  string(SUBSTRING "${text}" 1 -1 rest)
  string(TOUPPER "${first}" first)
  set(text "${first}${rest}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The words of a JSON array of strings, joined by separator.
function(json_join out array separator)
  string(JSON count LENGTH "${array}")
  set(joined "")
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      string(JSON word GET "${array}" ${i})
      if(i GREATER 0)
        string(APPEND joined "${separator}")
      endif()
      string(APPEND joined "${word}")
    endforeach()
  endif()
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

# One option's fields as variables named prefix_field; with them prefix_long,
# its last name for troff, and prefix_placeholder, what stands for its value.
function(read_option prefix option)
  foreach(field positional flag type valueText default required description help)
    string(JSON ${field} GET "${option}" ${field})
    set(${prefix}_${field} "${${field}}" PARENT_SCOPE)
  endforeach()
  string(JSON names GET "${option}" names)
  json_join(joined "${names}" " ")
  set(${prefix}_names "${joined}" PARENT_SCOPE)
  string(REGEX REPLACE ".* " "" long_name "${joined}")
  troff(long_name "${long_name}")
  set(${prefix}_long "${long_name}" PARENT_SCOPE)
  string(JSON choices GET "${option}" choices)
  json_join(joined "${choices}" " ")
  set(${prefix}_choices "${joined}" PARENT_SCOPE)
  # The option's own text for its value, else a word for its type.
  if(NOT valueText STREQUAL "")
    set(placeholder "${valueText}")
  elseif(NOT positional STREQUAL "")
    set(placeholder "${positional}")
  elseif(type MATCHES "^U?INT$")
    set(placeholder N)
  else()
    set(placeholder "${type}")
  endif()
  set(${prefix}_placeholder "${placeholder}" PARENT_SCOPE)
endfunction()

string(JSON command_count LENGTH "${cli}" commands)
math(EXPR last_command "${command_count} - 1")
set(command_names "")
foreach(c RANGE ${last_command})
  string(JSON name GET "${cli}" commands ${c} name)
  string(APPEND command_names " ${name}")
endforeach()
string(STRIP "${command_names}" command_names)
string(REPLACE " " "|" command_pattern "${command_names}")

# ---- Manual page -----------------------------------------------------------------
# How an option is written: -h, --help, or --tracks N, or BASE.
function(option_usage out prefix)
  if(NOT ${prefix}_positional STREQUAL "")
    set(usage "\\fI${${prefix}_positional}\\fR")
  else()
    troff(names "${${prefix}_names}")
    string(REGEX REPLACE "([^ ]+)" "\\\\fB\\1\\\\fR" usage "${names}")
    string(REPLACE "\\fR \\fB" "\\fR, \\fB" usage "${usage}")
    if(NOT ${prefix}_flag)
      troff(placeholder "${${prefix}_placeholder}")
      string(APPEND usage " \\fI${placeholder}\\fR")
    endif()
  endif()
  set(${out} "${usage}" PARENT_SCOPE)
endfunction()

# The description's title line ("trakmon 2.0.0 - ...") is the page's NAME.
string(JSON description GET "${cli}" description)
string(REGEX REPLACE "^trakmon [^\n]*\n" "" description "${description}")
troff_prose(DESCRIPTION "${description}")

set(SYNOPSIS "")
set(COMMANDS "")
set(group_count 0)
foreach(c RANGE ${last_command})
  string(JSON command GET "${cli}" commands ${c})
  string(JSON name GET "${command}" name)
  string(JSON text GET "${command}" description)
  troff_prose(text "${text}")
  string(APPEND COMMANDS ".TP\n.B ${name}\n${text}\n")
  string(APPEND SYNOPSIS ".SY \"trakmon ${name}\"\n")
  string(JSON option_count LENGTH "${command}" options)
  math(EXPR last_option "${option_count} - 1")
  foreach(o RANGE ${last_option})
    string(JSON option GET "${command}" options ${o})
    read_option(opt "${option}")
    if(opt_help)
      continue()
    endif()
    troff(placeholder "${opt_placeholder}")
    if(NOT opt_positional STREQUAL "")
      if(opt_required)
        string(APPEND SYNOPSIS ".I ${placeholder}\n")
      else()
        string(APPEND SYNOPSIS "[\\fI${placeholder}\\fR]\n")
      endif()
    elseif(opt_flag)
      string(APPEND SYNOPSIS ".OP ${opt_long}\n")
    else()
      string(APPEND SYNOPSIS ".OP ${opt_long} ${placeholder}\n")
    endif()
    # Each option once, with the commands that take it.
    set(found "")
    if(group_count GREATER 0)
      math(EXPR last_group "${group_count} - 1")
      foreach(g RANGE ${last_group})
        if("${group_option_${g}}" STREQUAL "${option}")
          set(found ${g})
          break()
        endif()
      endforeach()
    endif()
    if(found STREQUAL "")
      set(found ${group_count})
      set(group_option_${found} "${option}")
      set(group_commands_${found} "${name}")
      math(EXPR group_count "${group_count} + 1")
    else()
      string(APPEND group_commands_${found} ", ${name}")
    endif()
  endforeach()
  string(APPEND SYNOPSIS ".YS\n")
endforeach()
string(APPEND SYNOPSIS ".SY trakmon\n")

# The program's own options: --help, --version.
set(OPTIONS "")
string(JSON option_count LENGTH "${cli}" options)
math(EXPR last_option "${option_count} - 1")
set(top_usages "")
foreach(o RANGE ${last_option})
  string(JSON option GET "${cli}" options ${o})
  read_option(opt "${option}")
  option_usage(usage opt)
  troff_prose(text "${opt_description}")
  if(opt_help)
    string(APPEND text " After a command: that command's options.")
  endif()
  string(APPEND OPTIONS ".TP\n${usage}\n${text}\n")
  if(NOT top_usages STREQUAL "")
    string(APPEND top_usages " | ")
  endif()
  string(APPEND top_usages "\\fB${opt_long}\\fR")
endforeach()
string(APPEND SYNOPSIS "${top_usages}\n.YS\n")

if(group_count GREATER 0)
  math(EXPR last_group "${group_count} - 1")
  foreach(g RANGE ${last_group})
    read_option(opt "${group_option_${g}}")
    option_usage(usage opt)
    troff_prose(text "${opt_description}")
    if(NOT opt_choices STREQUAL "")
      string(REPLACE " " ", " values "${opt_choices}")
      string(APPEND text "\nValues: ${values}.")
    endif()
    if(NOT opt_default STREQUAL "")
      troff(value "${opt_default}")
      string(APPEND text "\nDefault: ${value}.")
    elseif(opt_flag)
      string(APPEND text "\nDefault: off.")
    elseif(opt_required)
      string(APPEND text "\nRequired.")
    endif()
    string(APPEND text "\nCommands: ${group_commands_${g}}.")
    string(APPEND OPTIONS ".TP\n${usage}\n${text}\n")
  endforeach()
endif()

string(REGEX MATCH "^trakmon [^ ]+" VERSION "${version_line}")
file(READ ${MAN_TEMPLATE} page)
string(CONFIGURE "${page}" page @ONLY)
file(WRITE ${MAN_PAGE} "${page}")

# ---- Bash completion ----------------------------------------------------------------
set(VALUE_CASES "")
set(WORD_CASES "    \"\") words=\"${command_names}")
foreach(o RANGE ${last_option})
  string(JSON option GET "${cli}" options ${o})
  read_option(opt "${option}")
  string(APPEND WORD_CASES " ${opt_names}")
endforeach()
string(APPEND WORD_CASES "\" ;;\n")
foreach(c RANGE ${last_command})
  string(JSON command GET "${cli}" commands ${c})
  string(JSON name GET "${command}" name)
  set(words "")
  string(JSON option_count LENGTH "${command}" options)
  math(EXPR last_option "${option_count} - 1")
  foreach(o RANGE ${last_option})
    string(JSON option GET "${command}" options ${o})
    read_option(opt "${option}")
    if(NOT opt_positional STREQUAL "")
      continue()
    endif()
    string(APPEND words " ${opt_names}")
    if(opt_flag)
      continue()
    endif()
    # The value of an option: its allowed values, a file name for text,
    # nothing to offer for a number without a list.
    string(REPLACE " " "|" patterns "${opt_names}")
    string(REGEX REPLACE "([^|]+)" "\"${name} \\1\"" patterns "${patterns}")
    if(NOT opt_choices STREQUAL "")
      string(APPEND VALUE_CASES
             "    ${patterns}) COMPREPLY=($(compgen -W \"${opt_choices}\" -- \"$cur\")) ;;\n")
    elseif(opt_type STREQUAL "TEXT")
      string(APPEND VALUE_CASES "    ${patterns}) _trakmon_files ;;\n")
    else()
      string(APPEND VALUE_CASES "    ${patterns}) COMPREPLY=() ;;\n")
    endif()
  endforeach()
  string(STRIP "${words}" words)
  string(APPEND WORD_CASES "    ${name}) words=\"${words}\" ;;\n")
endforeach()
file(WRITE ${BASH_COMPLETION} "# bash completion for trakmon: commands, options, their values and file names.
# Made by the build from trakmon's own definition of its command line
# (packaging/make_docs.cmake): edit that, not this.

_trakmon_files()
{
    local IFS=$'\\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- \"$cur\"))
}

_trakmon()
{
    local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]} option=\"\"
    # --tracks=12 comes as the words --tracks, = and 12.
    if [[ $cur == = ]]; then
        option=$prev
        cur=\"\"
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        option=\${COMP_WORDS[COMP_CWORD-2]}
    elif [[ $prev == -* ]]; then
        option=$prev
    fi
    local command=\"\" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case \${COMP_WORDS[i]} in
        ${command_pattern}) command=\${COMP_WORDS[i]}; break ;;
        esac
    done
    COMPREPLY=()
    case \"$command $option\" in
${VALUE_CASES}    *) option=\"\" ;;
    esac
    [[ -n $option ]] && return

    local words
    case $command in
${WORD_CASES}    esac
    if [[ -z $command || $cur == -* ]]; then
        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))
    else
        _trakmon_files
    fi
}
complete -F _trakmon trakmon
")

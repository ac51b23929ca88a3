# Produces the runnable c172p from the pristine files beside this script.
#   cmake -DSOURCE=<this folder> -DOUT=<folder to create> -P prepare.cmake
# Result: <OUT>/aircraft/c172p/{c172p.xml, Engines/, Systems/} for the JSBSim program's --root.
# The edits are the ones NOTES.md lists; each must find its text in the pristine file, so a
# changed upstream file stops the build instead of silently giving another aircraft.
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE OR NOT OUT)
    message(FATAL_ERROR "prepare.cmake: SOURCE and OUT are required")
endif()

set(dest ${OUT}/aircraft/c172p)
file(REMOVE_RECURSE ${dest})
file(MAKE_DIRECTORY ${dest}/Engines ${dest}/Systems)
file(COPY ${SOURCE}/Engines/eng_io320.xml ${SOURCE}/Engines/prop_75in2f.xml DESTINATION ${dest}/Engines)
file(COPY ${SOURCE}/Systems/fuel.xml ${SOURCE}/Systems/avilo-standalone.xml DESTINATION ${dest}/Systems)

file(READ ${SOURCE}/c172p.xml xml)

# 1. Only the 160 hp engine: drop the second <engine> block (the 180 hp alternative).
set(open "<engine file=\"eng_io360\">")
string(FIND "${xml}" "${open}" begin)
if(begin EQUAL -1)
    message(FATAL_ERROR "prepare.cmake: the second engine block is not in c172p.xml")
endif()
string(SUBSTRING "${xml}" ${begin} -1 tail)
string(FIND "${tail}" "</engine>" length)
if(length EQUAL -1)
    message(FATAL_ERROR "prepare.cmake: the second engine block has no end")
endif()
math(EXPR after "${begin} + ${length} + 9")
string(SUBSTRING "${xml}" 0 ${begin} head)
string(SUBSTRING "${xml}" ${after} -1 rest)
set(xml "${head}<!-- Avilo: the alternative 180 hp engine is removed. -->${rest}")

# 2. The systems of the full simulator (files not shipped here, or failing standalone) go; the
#    fuel system stays and the project's own standalone system joins it.
foreach(system bushkit c172p-engine c172p-skis hydrodynamics c172p-hydrodynamics
               c172p-ground-effects c172p-damage c172p-sounds c172p-heat external-heat
               indicated-airspeed mooring-jsbsim)
    set(line "<system file=\"${system}\"/>")
    string(FIND "${xml}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "prepare.cmake: ${line} is not in c172p.xml")
    endif()
    string(REPLACE "${line}" "" xml "${xml}")
endforeach()
set(fuel "<system file=\"fuel\"/>")
string(FIND "${xml}" "${fuel}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "prepare.cmake: ${fuel} is not in c172p.xml")
endif()
string(REPLACE "${fuel}" "${fuel}\n    <system file=\"avilo-standalone\"/>" xml "${xml}")

file(WRITE ${dest}/c172p.xml "${xml}")
